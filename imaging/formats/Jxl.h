// JPEG XL through libjxl: what the rest of the library and its tests need beyond the registry.
#pragma once

#include <cstdint>

namespace imaging::formats {

// The butteraugli distance a lossy save uses for a quality of 1 to 100 (clamped), as `cjxl -q`
// maps it: 0.1 at 100, 1.9 at 80, 6.4 at 30.
float JxlDistanceForQuality(int32_t quality);

}  // namespace imaging::formats
