// Not built yet: the registry skips codecs whose factory gives nothing.
#include "../Imaging.h"

namespace imaging {

std::unique_ptr<TImageFileFormat> CreatePBMFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreatePGMFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreatePPMFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreatePAMFileFormat() { return nullptr; }
std::unique_ptr<TImageFileFormat> CreatePFMFileFormat() { return nullptr; }

}  // namespace imaging
