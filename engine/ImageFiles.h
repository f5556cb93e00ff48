// The program's two image-file functions on top of the image library.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/Codec.h"

namespace engine {

// What a load found beside the pixels of a photo.
struct PhotoFacts {
  int32_t orientation = 1;         // Exif orientation of the stored pixels, 1 to 8
  imaging::ColorProfile profile;   // the embedded ICC profile, null when none
};

// Loads the first image of the file and converts it to A8R8G8B8. Icons and cursors (.ico, .cur)
// are read by the icon codec, every other file by the codec its content is detected as.
// False when no codec accepts the file or it yields no image. The path must not be empty.
// The codecs read with the given option values (by default the process values); `facts`, when
// given, receives the orientation and colour profile the codec found (none for icons).
bool LoadImageFile(const std::string& path, imaging::Image& image,
                   const imaging::CodecOptions& options = imaging::CurrentOptions(), PhotoFacts* facts = nullptr);

// The run's load: as LoadImageFile, but the picture keeps the plain format nearest to the one
// the file holds (RunFormatOf) instead of A8R8G8B8, so that scaling and saving lose neither
// 16-bit samples nor the knowledge that a picture is gray or has no alpha. `facts` as there.
bool LoadImageForRun(const std::string& path, imaging::Image& image, const imaging::CodecOptions& options,
                     PhotoFacts* facts = nullptr);

// The run's load of every frame of an animation or page of a multi-page file, each as
// LoadImageForRun gives the first, with how the animation plays (empty for pages). `facts`
// describe the first image. The decoders refuse files of more than imaging::kMaxFrames frames
// or of more pixels in all than one picture may have.
bool LoadFramesForRun(const std::string& path, std::vector<imaging::Image>& frames, imaging::Animation& animation,
                      const imaging::CodecOptions& options, PhotoFacts* facts = nullptr);

// Whether a run keeps the several images of a source whose content is `sourceFormat` (a
// detected extension) in an output at `outputPath`: the frames of a GIF, WebP or MNG animation
// in a GIF, WebP or MNG output, the pages of a TIFF file in a TIFF output. Any other output
// gets the first image.
bool RunKeepsFrames(const std::string& sourceFormat, const std::string& outputPath);
// Whether files of the type may hold several frames or pages.
bool MayHoldFrames(const std::string& sourceFormat);
// The note for an output that got the first of `frames` frames or pages of its source: "The
// file has 12 frames; JPEG holds one: the first was written".
std::string FirstFrameNote(int32_t frames, const std::string& sourceFormat, const std::string& outputPath);

// The format the run keeps a loaded picture in: gray stays gray and 16-bit samples stay 16-bit
// (Gray8, A8Gray8, Gray16, A16Gray16, R8G8B8, A8R8G8B8, R16G16B16, A16R16G16B16 and the latter
// two with red and blue exchanged are kept as they are; Gray32 and Gray64 become Gray16); an
// indexed picture whose 256 palette entries are all gray becomes A8Gray8; every other format
// becomes R8G8B8 when it has no alpha and A8R8G8B8 when it has (or is compressed).
imaging::PixelFormat RunFormatOf(const imaging::Image& image);

// Puts a picture of the run into the format its output is written from, before the save: the
// format without alpha when every pixel is opaque (an alpha channel is looked at only when the
// format has one); A8R8G8B8 for a DirectDraw surface, whose readers expect a texture format,
// as before. The output's codec then turns the picture into a format it writes as it always
// does (for example a gray picture into an 8-bit gray BMP, or colour into a palette for GIF).
void PrepareForOutput(imaging::Image& image, const std::string& outputPath);

// Writes the image as the only image of the file, by the codec of the path's extension
// (.ico and .cur: a single-image icon). False without a message when no codec is registered
// for the extension, the codec cannot save, or the image is empty; a codec that refuses the
// image raises an error that says so. The codec writes with the
// given option values (by default the process values), except that a gray picture is written
// by the PNG and MNG codecs with the Paeth filter where their default choice (5) gives colour
// pictures that filter and gray ones none.
bool SaveImageFile(const std::string& path, const imaging::Image& image,
                   const imaging::CodecOptions& options = imaging::CurrentOptions());

// The bytes SaveImageFile would write to `path`, encoded in memory; nothing where SaveImageFile
// would return false, and the same errors. A parallel run encodes on its helper threads and
// only writes the bytes (WriteFileAtomically) in list order.
std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, const imaging::Image& image,
                                                    const imaging::CodecOptions& options);
// The same for several frames or pages: a codec of several images writes them all (an
// animation plays as options.animation says), any other the first.
std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, std::span<const imaging::Image> frames,
                                                    const imaging::CodecOptions& options);

// True when the path's extension is .ico or .cur in any letter case: such files are read and
// written by the icon codec instead of the codec registry.
bool IsIconPath(const std::string& path);

}  // namespace engine
