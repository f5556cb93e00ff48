// The chunk layer that the PNG, MNG and JNG reader and writer share: signatures, chunk types,
// big-endian fields, reading chunk data in bounded steps, writing chunks with their CRC.
// Private to the three codecs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/formats/Png.h"

namespace imaging::formats::ng {

constexpr uint8_t kPNGSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kMNGSignature[8] = {0x8A, 0x4D, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kJNGSignature[8] = {0x8B, 0x4A, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// A chunk length is below 2^31 (PNG specification, 5.3).
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// Chunk data are read in steps of this size, so that a declared length larger than the file
// never turns into one large allocation.
constexpr uint32_t kChunkReadStep = 1u << 20;

using ChunkId = uint32_t;
constexpr ChunkId ChunkType(const char (&name)[5]) {
  return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) | (uint32_t(uint8_t(name[2])) << 8) |
         uint32_t(uint8_t(name[3]));
}
constexpr ChunkId kIHDR = ChunkType("IHDR");
constexpr ChunkId kJHDR = ChunkType("JHDR");
constexpr ChunkId kMHDR = ChunkType("MHDR");
constexpr ChunkId kIDAT = ChunkType("IDAT");
constexpr ChunkId kJDAT = ChunkType("JDAT");
constexpr ChunkId kJDAA = ChunkType("JDAA");
constexpr ChunkId kPLTE = ChunkType("PLTE");
constexpr ChunkId kTRNS = ChunkType("tRNS");
constexpr ChunkId kBKGD = ChunkType("bKGD");
constexpr ChunkId kICCP = ChunkType("iCCP");
constexpr ChunkId kIEND = ChunkType("IEND");
constexpr ChunkId kMEND = ChunkType("MEND");

inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// The Paeth predictor of the PNG specification (9.4), for filtering and unfiltering.
inline uint8_t PaethPredictor(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

// The four letters of a chunk type for messages; bytes that are not printable show as '?'.
std::string ChunkName(ChunkId type);
[[noreturn]] void RaiseChunkRead(ChunkId type);
[[noreturn]] void RaiseZlib(int code);

// ---- Reading ----

// Reads `length` chunk data bytes and appends them to `target`, then reads (and ignores) the CRC.
void ReadChunkData(Stream& stream, ChunkId type, uint32_t length, std::vector<uint8_t>& target);

// The data of a chunk whose header was read, in bounded steps, and its CRC skipped.
std::vector<uint8_t> ReadChunk(Stream& stream, ChunkId type, uint32_t length);

// IHDR and JHDR data as records; raise when the data are too short.
PngImageHeader ParseImageHeader(const std::vector<uint8_t>& d);

JngHeader ParseJpegHeader(const std::vector<uint8_t>& d);

// PLTE and tRNS follow the same rules: a datastream keeps its first chunk, an empty chunk takes
// the global record (MNG), and a chunk before any datastream becomes the global record.
void TakeSideChunk(std::vector<uint8_t>* frameRecord, std::vector<uint8_t>& global, std::vector<uint8_t> data);

// The profile of iCCP data (PNG specification 11.3.3.3), inflated no further than the size its
// header states, which must lie within kMaxColorProfileBytes. Null when the data are damaged.
ColorProfile ReadProfileChunk(const std::vector<uint8_t>& data);

// ---- Writing ----

// iCCP data holding the profile.
std::vector<uint8_t> MakeProfileChunk(const std::vector<uint8_t>& profile, int compressLevel);

// One chunk: length, type, data and the CRC over type and data.
void WriteChunk(Stream& stream, ChunkId type, const uint8_t* data, size_t size);

// Data longer than one chunk can hold go into consecutive chunks of the same type.
void WriteDataChunks(Stream& stream, ChunkId type, const std::vector<uint8_t>& data);

// A whole datastream: IHDR (PLTE, tRNS, IDAT) or JHDR (JDAT, JDAA or IDAT), then IEND.
void WriteFrame(Stream& stream, const Datastream& frame);

}  // namespace imaging::formats::ng
