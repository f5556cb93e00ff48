// Not built yet: the registry skips codecs whose factory gives nothing.
#include "../Imaging.h"

namespace imaging {

std::unique_ptr<TImageFileFormat> CreateDDSFileFormat() { return nullptr; }

}  // namespace imaging
