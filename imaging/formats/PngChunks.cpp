// The chunk layer of PNG, MNG and JNG: chunk data read in bounded steps, chunks written with
// their CRC, and the loader that collects the datastreams of any of the three file types.
#include "imaging/formats/PngChunks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace imaging::formats {

namespace ng {

// The four letters of a chunk type for messages; bytes that are not printable show as '?'.
std::string ChunkName(ChunkId type) {
  std::string name(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(type >> (24 - 8 * i));
    if (c >= 0x20 && c < 0x7F) name[static_cast<size_t>(i)] = c;
  }
  return name;
}

[[noreturn]] void RaiseChunkRead(ChunkId type) {
  RaiseImaging("Error when reading %s chunk data. File may be corrupted.", ChunkName(type).c_str());
}

[[noreturn]] void RaiseZlib(int code) { RaiseImaging("zlib: %s", zError(code)); }

// ---- Chunk reader -----------------------------------------------------------------------------

// A larger iCCP chunk is skipped unread: deflate cannot make a profile of the largest size
// kept more than a little larger.
constexpr uint32_t kMaxProfileChunk = uint32_t(kMaxColorProfileBytes) + 65536;

// Reads `length` chunk data bytes and appends them to `target`, then reads (and ignores) the CRC.
void ReadChunkData(Stream& stream, ChunkId type, uint32_t length, std::vector<uint8_t>& target) {
  uint32_t left = length;
  while (left > 0) {
    const uint32_t step = std::min(left, kChunkReadStep);
    const size_t old = target.size();
    target.resize(old + step);
    if (stream.Read(target.data() + old, step) != int64_t(step)) RaiseChunkRead(type);
    left -= step;
  }
  uint8_t crc[4];
  stream.Read(crc, sizeof(crc));
}

std::vector<uint8_t> ReadChunk(Stream& stream, ChunkId type, uint32_t length) {
  std::vector<uint8_t> data;
  ReadChunkData(stream, type, length, data);
  return data;
}

PngImageHeader ParseImageHeader(const std::vector<uint8_t>& d) {
  if (d.size() < kPNGImageHeaderSize)
    RaiseImaging("PNG IHDR chunk holds %u bytes instead of %u.", unsigned(d.size()), kPNGImageHeaderSize);
  return PngImageHeader{LoadBE32(&d[0]), LoadBE32(&d[4]), d[8], d[9], d[10], d[11], d[12]};
}

JngHeader ParseJpegHeader(const std::vector<uint8_t>& d) {
  if (d.size() < kJNGHeaderSize)
    RaiseImaging("JNG JHDR chunk holds %u bytes instead of %u.", unsigned(d.size()), kJNGHeaderSize);
  return JngHeader{LoadBE32(&d[0]), LoadBE32(&d[4]), d[8], d[9], d[10], d[11], d[12], d[13], d[14], d[15]};
}

// PLTE and tRNS follow the same rules: a datastream keeps its first chunk, an empty chunk takes
// the global record (MNG), and a chunk before any datastream becomes the global record.
void TakeSideChunk(std::vector<uint8_t>* frameRecord, std::vector<uint8_t>& global, std::vector<uint8_t> data) {
  if (!frameRecord) {
    global = std::move(data);
    return;
  }
  if (!frameRecord->empty()) return;
  *frameRecord = data.empty() ? global : std::move(data);
}

// ---- Chunk writer ---------------------------------------------------------------------------

void WriteChunk(Stream& stream, ChunkId type, const uint8_t* data, size_t size) {
  uint8_t header[8];
  StoreBE32(header, static_cast<uint32_t>(size));
  StoreBE32(header + 4, type);
  uLong crc = crc32(0L, header + 4, 4);
  if (size > 0) crc = crc32_z(crc, data, size);
  uint8_t trailer[4];
  StoreBE32(trailer, static_cast<uint32_t>(crc));
  stream.WriteExact(header, 8, "PNG chunk header");
  if (size > 0) stream.WriteExact(data, static_cast<int64_t>(size), "PNG chunk data");
  stream.WriteExact(trailer, 4, "PNG chunk CRC");
}

// Data longer than one chunk can hold go into consecutive chunks of the same type.
void WriteDataChunks(Stream& stream, ChunkId type, const std::vector<uint8_t>& data) {
  size_t offset = 0;
  do {
    const size_t size = std::min<size_t>(data.size() - offset, kMaxChunkLength);
    WriteChunk(stream, type, data.data() + offset, size);
    offset += size;
  } while (offset < data.size());
}

void WriteFrame(Stream& stream, const Datastream& frame) {
  if (!frame.IsJpegFrame) {
    const PngImageHeader& h = frame.ImageHeader;
    uint8_t ihdr[kPNGImageHeaderSize];
    StoreBE32(ihdr, h.Width);
    StoreBE32(ihdr + 4, h.Height);
    ihdr[8] = h.BitDepth;
    ihdr[9] = h.ColorType;
    ihdr[10] = h.CompressionMethod;
    ihdr[11] = h.FilterMethod;
    ihdr[12] = h.InterlaceMethod;
    WriteChunk(stream, kIHDR, ihdr, sizeof(ihdr));
    if (!frame.ProfileBytes.empty()) WriteChunk(stream, kICCP, frame.ProfileBytes.data(), frame.ProfileBytes.size());
    if (!frame.PaletteBytes.empty()) WriteChunk(stream, kPLTE, frame.PaletteBytes.data(), frame.PaletteBytes.size());
    if (!frame.TransparencyBytes.empty())
      WriteChunk(stream, kTRNS, frame.TransparencyBytes.data(), frame.TransparencyBytes.size());
    WriteDataChunks(stream, kIDAT, frame.ImageDataStream);
  } else {
    const JngHeader& h = frame.JpegHeader;
    uint8_t jhdr[kJNGHeaderSize];
    StoreBE32(jhdr, h.Width);
    StoreBE32(jhdr + 4, h.Height);
    jhdr[8] = h.ColorType;
    jhdr[9] = h.SampleDepth;
    jhdr[10] = h.CompressionMethod;
    jhdr[11] = h.InterlaceMethod;
    jhdr[12] = h.AlphaSampleDepth;
    jhdr[13] = h.AlphaCompressionMethod;
    jhdr[14] = h.AlphaFilterMethod;
    jhdr[15] = h.AlphaInterlaceMethod;
    WriteChunk(stream, kJHDR, jhdr, sizeof(jhdr));
    if (!frame.ProfileBytes.empty()) WriteChunk(stream, kICCP, frame.ProfileBytes.data(), frame.ProfileBytes.size());
    WriteDataChunks(stream, kJDAT, frame.JpegDataStream);
    if (h.AlphaSampleDepth != 0) {
      if (h.AlphaCompressionMethod == 8)
        WriteDataChunks(stream, kJDAA, frame.JpegAlphaStream);
      else
        WriteDataChunks(stream, kIDAT, frame.ImageDataStream);
    }
  }
  WriteChunk(stream, kIEND, nullptr, 0);
}

}  // namespace ng

using namespace ng;

// ---- DatastreamSet -------------------------------------------------------------------------

void DatastreamSet::Clear() {
  Frames.clear();
  MNGHeader = MngHeader{};
  GlobalPalette.clear();
  GlobalTransparency.clear();
}

Datastream& DatastreamSet::AddFrame(bool isJpegFrame) {
  Frames.push_back(std::make_unique<Datastream>());
  Frames.back()->IsJpegFrame = isJpegFrame;
  return *Frames.back();
}

bool DatastreamLoader::LoadFile(Stream& stream) {
  Clear();
  uint8_t signature[8];
  if (stream.Read(signature, 8) != 8) return false;
  if (std::memcmp(signature, kPNGSignature, 8) == 0)
    FileType = NetworkGraphicsType::PNG;
  else if (std::memcmp(signature, kMNGSignature, 8) == 0)
    FileType = NetworkGraphicsType::MNG;
  else if (std::memcmp(signature, kJNGSignature, 8) == 0)
    FileType = NetworkGraphicsType::JNG;
  else
    return false;

  uint8_t header[8];
  if (FileType == NetworkGraphicsType::MNG) {
    if (stream.Read(header, 8) != 8) RaiseChunkRead(kMHDR);
    const uint32_t length = LoadBE32(header);
    const ChunkId type = LoadBE32(header + 4);
    if (type != kMHDR)
      RaiseImaging("MNG file starts with a %s chunk instead of MHDR.", ChunkName(type).c_str());
    if (length > kMaxChunkLength) RaiseChunkRead(type);
    const std::vector<uint8_t> data = ReadChunk(stream, type, length);
    if (data.size() < kMNGHeaderSize)
      RaiseImaging("MNG header chunk holds %u bytes instead of %u.", unsigned(data.size()), kMNGHeaderSize);
    uint32_t* fields = &MNGHeader.FrameWidth;
    for (uint32_t i = 0; i < kMNGHeaderSize / 4; ++i) fields[i] = LoadBE32(&data[4 * i]);
  }

  while (stream.Read(header, 8) == 8) {
    const uint32_t length = LoadBE32(header);
    const ChunkId type = LoadBE32(header + 4);
    if (length > kMaxChunkLength) RaiseChunkRead(type);
    Datastream* frame = Frames.empty() ? nullptr : Frames.back().get();
    if ((type == kIDAT || type == kJDAT || type == kJDAA || type == kBKGD) && !frame)
      RaiseImaging("%s chunk found before the image header.", ChunkName(type).c_str());

    if (type == kIHDR) {
      const PngImageHeader h = ParseImageHeader(ReadChunk(stream, type, length));
      AddFrame(false).ImageHeader = h;
    } else if (type == kJHDR) {
      const JngHeader h = ParseJpegHeader(ReadChunk(stream, type, length));
      AddFrame(true).JpegHeader = h;
    } else if (type == kIDAT) {
      ReadChunkData(stream, type, length, frame->ImageDataStream);
    } else if (type == kJDAT) {
      ReadChunkData(stream, type, length, frame->JpegDataStream);
    } else if (type == kJDAA) {
      ReadChunkData(stream, type, length, frame->JpegAlphaStream);
    } else if (type == kPLTE) {
      TakeSideChunk(frame ? &frame->PaletteBytes : nullptr, GlobalPalette, ReadChunk(stream, type, length));
    } else if (type == kTRNS) {
      TakeSideChunk(frame ? &frame->TransparencyBytes : nullptr, GlobalTransparency, ReadChunk(stream, type, length));
    } else if (type == kBKGD) {
      std::vector<uint8_t> data = ReadChunk(stream, type, length);
      if (frame->BackgroundBytes.empty()) frame->BackgroundBytes = std::move(data);
    } else if (type == kICCP && frame && frame->ProfileBytes.empty() && length <= kMaxProfileChunk) {
      // A datastream's first profile; an MNG file's global one is not used.
      frame->ProfileBytes = ReadChunk(stream, type, length);
    } else {
      stream.Seek(int64_t(length) + 4, SeekOrigin::Current);
    }

    if (stream.AtEnd() || type == kMEND) break;
    if (type == kIEND && FileType != NetworkGraphicsType::MNG) break;
  }
  return true;
}

}  // namespace imaging::formats
