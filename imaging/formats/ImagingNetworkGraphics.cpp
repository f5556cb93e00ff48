// Not built yet: the registry skips codecs whose factory gives nothing.
#include "../Imaging.h"

namespace imaging {

std::unique_ptr<TImageFileFormat> CreatePNGFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreateMNGFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreateJNGFileFormat() { return nullptr; }

}  // namespace imaging
