// The .vxc reader on arbitrary bytes: parsing, reading every key of a configuration, writing
// values back and parsing the result again must never crash, and written texts must read back.
// The first byte chooses how the rest reaches the reader: as it is (8-bit text, or UTF-16 when
// it carries a byte-order mark), or widened to UTF-16 little- or big-endian behind its mark, so
// the same text seeds drive both the 8-bit and the UTF-16 paths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/VxcFile.h"

namespace {

std::vector<uint8_t> Arrange(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const uint8_t mode = data[0] % 4;
  ++data, --size;
  std::vector<uint8_t> bytes;
  switch (mode) {
    case 0:  // as it is
      bytes.assign(data, data + size);
      break;
    case 1:  // UTF-16LE: each byte a code unit; two bytes with the top bit set make one unit
    case 2:  // UTF-16BE
      bytes = mode == 1 ? std::vector<uint8_t>{0xFF, 0xFE} : std::vector<uint8_t>{0xFE, 0xFF};
      for (size_t i = 0; i < size; ++i) {
        uint16_t unit = data[i];
        if ((data[i] & 0x80) && i + 1 < size) {
          unit = uint16_t(data[i] << 8 | data[i + 1]);
          ++i;
        }
        const uint8_t low = uint8_t(unit), high = uint8_t(unit >> 8);
        bytes.push_back(mode == 1 ? low : high);
        bytes.push_back(mode == 1 ? high : low);
      }
      break;
    default:  // UTF-8 behind its mark
      bytes = {0xEF, 0xBB, 0xBF};
      bytes.insert(bytes.end(), data, data + size);
      break;
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  config::VxcFile file = config::VxcFile::Parse(Arrange(data, size));

  static config::ProgramWindows* windows = new config::ProgramWindows(forms::Language::English);
  config::ApplyLoadedConfiguration(*windows, file, config::LoadCaller::StartUp);

  // Some of the input as a text, written under a known and an unknown key.
  config::WriteConfiguration(*windows, file);
  const std::string text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
  file.WriteString("PBCB", "out_name", text);
  file.WriteString("Fuzz", "k", text);
  const config::VxcFile back = config::VxcFile::Parse(file.Serialize());
  if (back.ReadString("PBCB", "out_name") != back.ReadString("Fuzz", "k")) std::abort();
  return 0;
}
