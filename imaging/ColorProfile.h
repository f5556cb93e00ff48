// Embedded ICC colour profiles (ICC.1:2022): the profile a file carries, kept as its bytes so
// that a save can embed exactly what a load found, and the conversion of pixels from a profile's
// colours to sRGB through Little CMS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Image.h"
#include "imaging/Types.h"

namespace imaging {

// The bytes of one profile, shared between the load that found it and the saves that embed it.
// Null for none.
using ColorProfile = std::shared_ptr<const std::vector<uint8_t>>;

// Larger profiles are not kept. Display profiles take a few kilobytes, the largest printer
// profiles a few megabytes; a picture's profile beyond this is damage or a trick, and a
// compressed one (PNG) must not be inflated beyond it.
inline constexpr size_t kMaxColorProfileBytes = size_t(4) << 20;

// The header fields a reader needs (ICC.1 section 7.2): the first 128 bytes and the tag count.
inline constexpr size_t kColorProfileHeaderSize = 132;

enum class ProfileColorSpace {
  Unusable,  // not a profile: too short or too long, a wrong size field or signature
  Rgb,       // an input, display or colour-space profile of RGB data
  Gray,      // the same for gray data
  Other,     // CMYK, Lab and the like, or a device link, abstract or named-colour profile
};

// What the header says; reads only inside `size` bytes. The profile's size field must not
// exceed `size` (some writers pad the data behind it).
ProfileColorSpace ColorSpaceOfProfile(const uint8_t* data, size_t size);

// The bytes as a profile to carry, or null when ColorSpaceOfProfile finds them unusable or they
// exceed kMaxColorProfileBytes.
ColorProfile MakeColorProfile(std::vector<uint8_t> bytes);

// Whether a file may embed the profile with pixels of `format`: an RGB profile with colour and
// palette pixels, a gray profile with gray pixels, nothing else (a CMYK profile never describes
// the pixels the library writes).
bool ProfileFitsFormat(const ColorProfile& profile, PixelFormat format);

// Turns the colours of `image`, taken as described by `profile`, into sRGB through Little CMS
// (perceptual intent; matrix-shaper profiles such as Display P3 or Adobe RGB are converted
// colorimetrically, out-of-gamut colours clipped). Alpha stays. RGB profiles work on the colour
// pixels (gray pixels become colour ones of the same depth); gray profiles map each channel to
// the sRGB tone curve. Pixel formats that Little CMS does not read are converted through a
// 16-bit or float colour format and back; a palette image has its palette converted. False with
// `error` set when the profile cannot be used (damaged, CMYK or Lab, or a device link); the
// pixels then stay as they were.
bool ConvertToSRGB(Image& image, const std::vector<uint8_t>& profile, std::string& error);

}  // namespace imaging
