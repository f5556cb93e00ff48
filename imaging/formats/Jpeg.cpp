// JPEG/JFIF reading and writing through libjpeg-turbo's libjpeg 6.2 interface.
//
// libjpeg reports fatal errors by calling error_exit, which must not return. We leave libjpeg
// with longjmp; every setjmp region is a small function that owns no C++ object with a
// destructor, so the jump skips nothing that needs cleaning up. The state libjpeg works on lives
// in a heap record whose destructor calls jpeg_destroy_*. Failures of the stream inside
// libjpeg's callbacks are caught there, kept, and re-raised after the jump, so no C++ exception
// ever unwinds through libjpeg's C frames.
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "imaging/formats/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace imaging::formats {

namespace {

constexpr size_t kJpegBufferSize = 16384;
// Rows handed to libjpeg per read or write call; libjpeg-turbo works best with a whole iMCU row.
constexpr int kRowsPerCall = 16;
// A progressive file may carry any number of scans, and each one makes the decoder walk the
// whole coefficient buffer again; a small hostile file could keep it busy for hours. Real
// encoders write about ten.
constexpr int kMaxScans = 500;

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  std::exception_ptr streamError;  // a failure of the stream inside a callback
  bool tooManyScans;
};

struct JpegSource {
  jpeg_source_mgr pub;
  Stream* stream;
  bool holdsInsertedEoi;  // the buffer holds our two-byte EOI, not file data
  JOCTET buffer[kJpegBufferSize];
};

struct JpegDestination {
  jpeg_destination_mgr pub;
  Stream* stream;
  JOCTET buffer[kJpegBufferSize];
};

// ---- Error manager ----------------------------------------------------------------------------

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt data, premature end of data) must never interrupt a read, and libjpeg must
// never print anything; they are only counted.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}
void JpegOutputMessage(j_common_ptr) {}
void JpegFormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void JpegResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}

void JpegErrorHandler(JpegErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.emit_message = JpegEmitMessage;
  err.pub.output_message = JpegOutputMessage;
  err.pub.format_message = JpegFormatMessage;
  err.pub.reset_error_mgr = JpegResetErrorManager;
}

// libjpeg's message texts are printf templates ("Unsupported JPEG process: SOF type 0x%02x")
// filled from the error record's parameters: one string, or up to eight integers.
std::string FilledMessage(const jpeg_error_mgr& err, const char* templ) {
  if (templ == nullptr) return {};
  const char* percent = std::strchr(templ, '%');
  if (percent == nullptr) return templ;
  char buffer[JMSG_LENGTH_MAX + 80];
  bool isString = false;
  for (const char* p = percent; *p != '\0'; ++p) {
    if (*p == '%' && p[1] == 's') isString = true;
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  if (isString) {
    char text[JMSG_STR_PARM_MAX + 1];
    std::memcpy(text, err.msg_parm.s, JMSG_STR_PARM_MAX);
    text[JMSG_STR_PARM_MAX] = '\0';
    std::snprintf(buffer, sizeof buffer, templ, text);
  } else {
    const int* i = err.msg_parm.i;
    std::snprintf(buffer, sizeof buffer, templ, i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7]);
  }
#pragma GCC diagnostic pop
  return buffer;
}

// Raises the error that ended a libjpeg call: the kept stream failure, the scan limit, or
// libjpeg's own message code with the unformatted text of that code.
[[noreturn]] void RaiseJpegError(const JpegErrorManager& err) {
  if (err.streamError) std::rethrow_exception(err.streamError);
  if (err.tooManyScans) RaiseImaging("JPEG Error: the file has more than %d scans", kMaxScans);
  const int code = err.pub.msg_code;
  const char* text = nullptr;
  if (code >= 0 && code <= err.pub.last_jpeg_message && err.pub.jpeg_message_table)
    text = err.pub.jpeg_message_table[code];
  else if (err.pub.addon_message_table && code >= err.pub.first_addon_message && code <= err.pub.last_addon_message)
    text = err.pub.addon_message_table[code - err.pub.first_addon_message];
  RaiseImaging("JPEG Error: %d (%s)", code, FilledMessage(err.pub, text).c_str());
}

// Called from the callbacks after a stream failure was kept: leaves libjpeg like error_exit.
[[noreturn]] void AbortFromCallback(j_common_ptr cinfo) { JpegErrorExit(cinfo); }

void JpegProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    reinterpret_cast<JpegErrorManager*>(cinfo->err)->tooManyScans = true;
    JpegErrorExit(cinfo);
  }
}

// ---- Source manager -----------------------------------------------------------------------

JpegSource* SourceOf(j_decompress_ptr cinfo) { return reinterpret_cast<JpegSource*>(cinfo->src); }

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JpegSource* src = SourceOf(cinfo);
  int64_t count = 0;
  bool failed = false;
  try {
    count = src->stream->Read(src->buffer, kJpegBufferSize);
  } catch (...) {
    reinterpret_cast<JpegErrorManager*>(cinfo->err)->streamError = std::current_exception();
    failed = true;
  }
  if (failed) AbortFromCallback(reinterpret_cast<j_common_ptr>(cinfo));
  src->holdsInsertedEoi = count <= 0;
  if (count <= 0) {
    // A truncated file ends as a short image instead of an error.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(count);
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  JpegSource* src = SourceOf(cinfo);
  size_t left = static_cast<size_t>(count);
  while (left > src->pub.bytes_in_buffer) {
    left -= src->pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  src->pub.next_input_byte += left;
  src->pub.bytes_in_buffer -= left;
}

// Leaves the stream right behind the last byte libjpeg consumed.
void TermSource(j_decompress_ptr cinfo) {
  JpegSource* src = SourceOf(cinfo);
  if (src->holdsInsertedEoi || src->pub.bytes_in_buffer == 0) return;
  bool failed = false;
  try {
    src->stream->Seek(-static_cast<int64_t>(src->pub.bytes_in_buffer), SeekOrigin::Current);
  } catch (...) {
    reinterpret_cast<JpegErrorManager*>(cinfo->err)->streamError = std::current_exception();
    failed = true;
  }
  if (failed) AbortFromCallback(reinterpret_cast<j_common_ptr>(cinfo));
  src->pub.bytes_in_buffer = 0;
}

// ---- Destination manager ------------------------------------------------------------------

JpegDestination* DestinationOf(j_compress_ptr cinfo) { return reinterpret_cast<JpegDestination*>(cinfo->dest); }

void InitDestination(j_compress_ptr cinfo) {
  JpegDestination* dest = DestinationOf(cinfo);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kJpegBufferSize;
}

void WriteDestination(j_compress_ptr cinfo, size_t count) {
  JpegDestination* dest = DestinationOf(cinfo);
  bool failed = false;
  try {
    dest->stream->WriteExact(dest->buffer, static_cast<int64_t>(count), "JPEG data");
  } catch (...) {
    reinterpret_cast<JpegErrorManager*>(cinfo->err)->streamError = std::current_exception();
    failed = true;
  }
  if (failed) AbortFromCallback(reinterpret_cast<j_common_ptr>(cinfo));
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  WriteDestination(cinfo, kJpegBufferSize);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  const size_t filled = kJpegBufferSize - DestinationOf(cinfo)->pub.free_in_buffer;
  if (filled > 0) WriteDestination(cinfo, filled);
}

// ---- Decompression ------------------------------------------------------------------------

// Everything libjpeg touches while decoding one file. Value-initialised, so the whole
// decompression record starts zeroed.
struct Decompression {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegSource source;
  jpeg_progress_mgr progress;
  bool created;

  Decompression() = default;
  Decompression(const Decompression&) = delete;
  Decompression& operator=(const Decompression&) = delete;
  ~Decompression() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

// setjmp region: creates the decompressor and reads the header. False when libjpeg failed.
bool DecodeHeader(Decompression* d) {
  if (setjmp(d->err.jump)) return false;
  d->cinfo.err = &d->err.pub;
  jpeg_CreateDecompress(&d->cinfo, JPEG_LIB_VERSION, sizeof(d->cinfo));
  d->created = true;
  d->source.pub.init_source = InitSource;
  d->source.pub.fill_input_buffer = FillInputBuffer;
  d->source.pub.skip_input_data = SkipInputData;
  d->source.pub.resync_to_restart = jpeg_resync_to_restart;
  d->source.pub.term_source = TermSource;
  d->cinfo.src = &d->source.pub;
  d->progress.progress_monitor = JpegProgress;
  d->cinfo.progress = &d->progress;
  // Exif (orientation) and ICC profile segments; libjpeg keeps them in its own pool, so they
  // take no more memory than the file has bytes.
  jpeg_save_markers(&d->cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&d->cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&d->cinfo, TRUE);
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = 1;
  d->cinfo.do_block_smoothing = TRUE;
  return true;
}

// The reduced decode of JpegOptions::reduceBy: sets libjpeg's scale and gives the size it will
// decode at (its own rounding up of image size × 1 / n).
void ApplyReducedDecode(jpeg_decompress_struct& cinfo, int32_t reduceBy, uint32_t& width, uint32_t& height) {
  const unsigned n = reduceBy == 2 || reduceBy == 4 || reduceBy == 8 ? static_cast<unsigned>(reduceBy) : 1u;
  cinfo.scale_num = 1;
  cinfo.scale_denom = n;
  width = (cinfo.image_width + n - 1) / n;
  height = (cinfo.image_height + n - 1) / n;
}

// setjmp region: decodes every row straight into the image's rows (`width` × `height`, as
// ApplyReducedDecode gave) and finishes the stream. False when libjpeg failed or would decode
// another size than the rows hold.
bool DecodeRows(Decompression* d, uint8_t* bits, size_t stride, uint32_t width, uint32_t height) {
  if (setjmp(d->err.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  if (d->cinfo.output_width != width || d->cinfo.output_height != height) {
    d->err.pub.msg_code = JERR_BAD_DCTSIZE;  // a scaling this build of libjpeg does not do as asked
    return false;
  }
  JSAMPROW rows[kRowsPerCall];
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    const JDIMENSION first = d->cinfo.output_scanline;
    JDIMENSION count = d->cinfo.output_height - first;
    if (count > kRowsPerCall) count = kRowsPerCall;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = bits + (first + i) * stride;
    jpeg_read_scanlines(&d->cinfo, rows, count);
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

// Adobe writes CMYK (and YCCK, which libjpeg turns into CMYK) inverted; no colour profile is
// applied.
void ConvertInvertedCmyk(Image& image) {
  uint8_t* p = image.Bits();
  const size_t count = size_t(image.Width()) * size_t(image.Height());
  for (size_t i = 0; i < count; ++i, p += 4) {
    const uint32_t c = 255u - p[0], m = 255u - p[1], y = 255u - p[2], k = 255u - p[3];
    p[2] = static_cast<uint8_t>(255u - (c + k - (c * k) / 255u));
    p[1] = static_cast<uint8_t>(255u - (m + k - (m * k) / 255u));
    p[0] = static_cast<uint8_t>(255u - (y + k - (y * k) / 255u));
    p[3] = 255;
  }
}

// ---- Photo metadata -----------------------------------------------------------------------

// APP1 "Exif" 00 00 and APP2 "ICC_PROFILE" 00 (ICC.1:2022 annex B.4): a profile is split into
// chunks of at most 65519 bytes, each headed by its sequence number (from 1) and the number of
// chunks.
constexpr uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kIccIdentifier[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kIccChunkHeader = sizeof(kIccIdentifier) + 2;

bool StartsWith(const jpeg_saved_marker_ptr m, const uint8_t* identifier, size_t size) {
  return m->data_length >= size && std::memcmp(m->data, identifier, size) == 0;
}

// The profile of the ICC chunks in file order. `damaged` tells that chunks were there but do
// not make one whole profile: a number or count out of range or differing, a chunk missing or
// twice, or more data than a profile may have.
ColorProfile AssembleIccProfile(const std::vector<std::span<const uint8_t>>& chunks, bool& damaged) {
  damaged = false;
  if (chunks.empty()) return nullptr;
  damaged = true;
  const uint8_t count = chunks.front()[sizeof(kIccIdentifier) + 1];
  if (count == 0 || chunks.size() != count) return nullptr;
  std::vector<std::span<const uint8_t>> ordered(count);
  size_t total = 0;
  for (const auto& chunk : chunks) {
    const uint8_t number = chunk[sizeof(kIccIdentifier)];
    if (chunk[sizeof(kIccIdentifier) + 1] != count || number == 0 || number > count || !ordered[number - 1].empty())
      return nullptr;
    ordered[number - 1] = chunk.subspan(kIccChunkHeader);
    total += ordered[number - 1].size();
    if (ordered[number - 1].empty() || total > kMaxColorProfileBytes) return nullptr;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(total);
  for (const auto& part : ordered) bytes.insert(bytes.end(), part.begin(), part.end());
  ColorProfile profile = MakeColorProfile(std::move(bytes));
  damaged = !profile;
  return profile;
}

// ---- Compression --------------------------------------------------------------------------

struct Compression {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  JpegDestination destination;
  bool created;

  Compression() = default;
  Compression(const Compression&) = delete;
  Compression& operator=(const Compression&) = delete;
  ~Compression() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

struct JpegEncodeSettings {
  const uint8_t* bits;
  int32_t width;
  int32_t height;
  bool grayScale;
  int32_t quality;
  bool progressive;
  const uint8_t* profile;  // ICC profile to embed, or null
  unsigned int profileSize;
};

// setjmp region: compresses the whole image.
bool EncodeImage(Compression* e, const JpegEncodeSettings* s) {
  if (setjmp(e->err.jump)) return false;
  e->cinfo.err = &e->err.pub;
  jpeg_CreateCompress(&e->cinfo, JPEG_LIB_VERSION, sizeof(e->cinfo));
  e->created = true;
  e->destination.pub.init_destination = InitDestination;
  e->destination.pub.empty_output_buffer = EmptyOutputBuffer;
  e->destination.pub.term_destination = TermDestination;
  e->cinfo.dest = &e->destination.pub;
  // libjpeg-turbo reads our blue-green-red rows itself; the file gets YCbCr with libjpeg's
  // default sampling.
  e->cinfo.in_color_space = s->grayScale ? JCS_GRAYSCALE : JCS_EXT_BGR;
  e->cinfo.input_components = s->grayScale ? 1 : 3;
  jpeg_set_defaults(&e->cinfo);
  jpeg_set_quality(&e->cinfo, s->quality, TRUE);
  if (s->progressive) jpeg_simple_progression(&e->cinfo);
  e->cinfo.image_width = static_cast<JDIMENSION>(s->width);
  e->cinfo.image_height = static_cast<JDIMENSION>(s->height);
  jpeg_start_compress(&e->cinfo, TRUE);
  if (s->profile != nullptr) jpeg_write_icc_profile(&e->cinfo, s->profile, s->profileSize);
  const size_t stride = size_t(s->width) * (s->grayScale ? 1 : 3);
  JSAMPROW rows[kRowsPerCall];
  while (e->cinfo.next_scanline < e->cinfo.image_height) {
    const JDIMENSION first = e->cinfo.next_scanline;
    JDIMENSION count = e->cinfo.image_height - first;
    if (count > kRowsPerCall) count = kRowsPerCall;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(s->bits + (first + i) * stride);
    jpeg_write_scanlines(&e->cinfo, rows, count);
  }
  jpeg_finish_compress(&e->cinfo);
  return true;
}

}  // namespace

// ---- JpegCodec ----------------------------------------------------------------------

JpegCodec::JpegCodec() {
  Name = "Joint Photographic Experts Group Image";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = false;
  SupportedFormats = MakeFormatSet({PixelFormat::Gray8, PixelFormat::R8G8B8});
  AddMasks("*.jpg,*.jpeg,*.jfif,*.jpe,*.jif");
  CanReadHeader = true;
}

bool JpegCodec::ProbeStream(Stream& stream) const {
  uint8_t signature[10];
  const int64_t count = stream.Read(signature, sizeof(signature));
  if (count > 0) stream.Seek(-count, SeekOrigin::Current);
  return count == int64_t(sizeof(signature)) && signature[0] == 0xFF && signature[1] == 0xD8;
}

std::unique_ptr<Decoder> JpegCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<JpegDecoder>(options);
}

std::unique_ptr<Encoder> JpegCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<JpegEncoder>(*this, options);
}

const JpegCodec& JpegCodec::Description() {
  static const JpegCodec description;
  return description;
}

// ---- JpegDecoder and JpegEncoder -------------------------------------------------------------

void JpegEncoder::ValidateOptions() {
  if (static_cast<uint32_t>(Options.jpeg.quality - 1) >= 100u) Options.jpeg.quality = 90;
}

void JpegEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  ConvertImageFormat(image, info.HasGrayChannel ? PixelFormat::Gray8 : PixelFormat::R8G8B8);
}

bool JpegDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  auto decoder = std::make_unique<Decompression>();
  decoder->source.stream = &stream;
  JpegErrorHandler(decoder->err);
  if (!DecodeHeader(decoder.get())) RaiseJpegError(decoder->err);

  jpeg_decompress_struct& cinfo = decoder->cinfo;
  PixelFormat format;
  bool straightTo32 = false;
  switch (cinfo.out_color_space) {
    case JCS_GRAYSCALE:
      format = PixelFormat::Gray8;
      break;
    case JCS_RGB:
      // libjpeg-turbo writes our blue-green-red order itself; a caller that converts every
      // load to A8R8G8B8 gets it straight away (libjpeg-turbo sets the alpha bytes to 255),
      // without a 24-bit copy of the picture beside the 32-bit one.
      if (Options.library.loadOverrideFormat == PixelFormat::A8R8G8B8) {
        cinfo.out_color_space = JCS_EXT_BGRA;
        format = PixelFormat::A8R8G8B8;
        straightTo32 = true;
      } else {
        cinfo.out_color_space = JCS_EXT_BGR;
        format = PixelFormat::R8G8B8;
      }
      break;
    case JCS_CMYK:
      format = PixelFormat::A8R8G8B8;
      break;
    default:
      return false;
  }
  CheckImageDimensions(cinfo.image_width, cinfo.image_height, "JPEG file");
  ReadPhotoMetadata(cinfo.marker_list);

  uint32_t width = 0, height = 0;
  ApplyReducedDecode(cinfo, Options.jpeg.reduceBy, width, height);
  Image& image = images.emplace_back();
  CreateImage(static_cast<int32_t>(width), static_cast<int32_t>(height), format, image);
  const size_t stride = size_t(image.Width()) * (format == PixelFormat::Gray8 ? 1 : format == PixelFormat::R8G8B8 ? 3 : 4);
  if (!DecodeRows(decoder.get(), image.Bits(), stride, width, height)) RaiseJpegError(decoder->err);
  // The source hands libjpeg an end marker when the file runs out; libjpeg then warns about the
  // entropy data it lost and fills the rows it could not decode.
  if (decoder->source.holdsInsertedEoi && decoder->err.pub.num_warnings > 0)
    AddLoadWarning("JPEG data end early; the missing part is grey");
  if (format == PixelFormat::A8R8G8B8 && !straightTo32) ConvertInvertedCmyk(image);
  return true;
}

bool JpegEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  PreparedImage prepared;
  if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;

  auto encoder = std::make_unique<Compression>();
  encoder->destination.stream = &stream;
  JpegErrorHandler(encoder->err);
  const Image& image = prepared;
  const ColorProfile profile = SaveProfileFor(image.Format());
  const JpegEncodeSettings settings{image.Bits(),  image.Width(),   image.Height(),
                                     image.Format() == PixelFormat::Gray8,
                                     Options.jpeg.quality, Options.jpeg.progressive,
                                     profile ? profile->data() : nullptr,
                                     profile ? static_cast<unsigned int>(profile->size()) : 0u};
  if (!EncodeImage(encoder.get(), &settings)) RaiseJpegError(encoder->err);
  return true;
}

void JpegDecoder::ReadPhotoMetadata(const jpeg_saved_marker_ptr markers) {
  std::vector<std::span<const uint8_t>> iccChunks;
  bool exifSeen = false;
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    // Only the first Exif segment counts, as for the metadata carry-over.
    if (m->marker == JPEG_APP0 + 1 && !exifSeen && StartsWith(m, kExifIdentifier, sizeof(kExifIdentifier))) {
      exifSeen = true;
      Facts.orientation = ExifOrientation(m->data + sizeof(kExifIdentifier), m->data_length - sizeof(kExifIdentifier));
    } else if (m->marker == JPEG_APP0 + 2 && StartsWith(m, kIccIdentifier, sizeof(kIccIdentifier)) &&
               m->data_length >= kIccChunkHeader) {
      iccChunks.emplace_back(m->data, m->data_length);
    }
  }
  bool damaged = false;
  Facts.profile = AssembleIccProfile(iccChunks, damaged);
  if (damaged) AddLoadWarning("The JPEG file's colour profile is damaged; it is left out");
}

std::unique_ptr<Codec> CreateJpegCodec() { return std::make_unique<JpegCodec>(); }

// Walks the markers up to the first frame header; the colour spaces are those libjpeg gives
// for the component count (1: gray, 3: RGB, 4: CMYK), and other counts are not decoded.
void ReadJpegFrameHeader(Stream& stream, ImageHeader& header) {
  uint8_t bytes[8];
  bool exifSeen = false;
  header.Orientation = kOrientationTopLeft;
  stream.ReadExact(bytes, 2, "JPEG start marker");
  if (bytes[0] != 0xFF || bytes[1] != 0xD8) RaiseImaging("JPEG: the data do not start with a start-of-image marker.");
  for (;;) {
    stream.ReadExact(bytes, 1, "JPEG marker");
    if (bytes[0] != 0xFF) continue;  // libjpeg skips stray bytes between segments too
    uint8_t marker = 0xFF;
    while (marker == 0xFF) stream.ReadExact(&marker, 1, "JPEG marker");
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA)
      RaiseImaging("JPEG: no frame header before marker 0x%02X.", unsigned(marker));
    stream.ReadExact(bytes, 2, "JPEG segment length");
    const int64_t length = (int64_t(bytes[0]) << 8) | bytes[1];
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame) {
      // libjpeg skips what a length below 2 leaves, nothing.
      if (length - 2 > stream.Remaining()) RaiseImaging("JPEG: a segment runs past the end of the data.");
      if (marker == JPEG_APP0 + 1 && !exifSeen && length - 2 >= int64_t(sizeof(kExifIdentifier))) {
        std::vector<uint8_t> segment(size_t(length - 2));
        stream.ReadExact(segment.data(), int64_t(segment.size()), "JPEG APP1 segment");
        if (std::memcmp(segment.data(), kExifIdentifier, sizeof(kExifIdentifier)) == 0) {
          exifSeen = true;
          header.Orientation = ExifOrientation(segment.data() + sizeof(kExifIdentifier),
                                               segment.size() - sizeof(kExifIdentifier));
        }
        continue;
      }
      if (length > 2) stream.Seek(length - 2, SeekOrigin::Current);
      continue;
    }
    if (length < 8) RaiseImaging("JPEG: the frame header is too short.");
    stream.ReadExact(bytes, 6, "JPEG frame header");
    const uint32_t precision = bytes[0];
    const uint32_t height = (uint32_t(bytes[1]) << 8) | bytes[2];
    const uint32_t width = (uint32_t(bytes[3]) << 8) | bytes[4];
    const uint32_t components = bytes[5];
    if (precision != 8) RaiseImaging("JPEG: %u-bit samples are not supported.", precision);
    if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
      RaiseImaging("JPEG: lossless frames are not supported.");
    if (length != 8 + 3 * int64_t(components)) RaiseImaging("JPEG: the frame header has a wrong length.");
    CheckImageDimensions(width, height, "JPEG file");
    switch (components) {
      case 1: header.Format = PixelFormat::Gray8; break;
      case 3: header.Format = PixelFormat::R8G8B8; break;
      case 4: header.Format = PixelFormat::A8R8G8B8; break;
      default: RaiseImaging("JPEG: %u colour components are not supported.", components);
    }
    header.Width = int32_t(width);
    header.Height = int32_t(height);
    return;
  }
}

ImageHeader JpegCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadJpegFrameHeader(stream, header);
  return header;
}

}  // namespace imaging::formats
