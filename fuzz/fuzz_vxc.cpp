// The .vxc reader on arbitrary bytes: parsing, reading every key of a configuration, writing
// values back and parsing the result again must never crash, and written texts must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/VxcFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  config::VxcFile file = config::VxcFile::Parse(bytes);

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
