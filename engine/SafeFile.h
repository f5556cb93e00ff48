// The program replaces files through the image library's safe replacement (temporary file
// beside the target, renamed into place when complete).
#pragma once

#include "imaging/SafeFile.h"

namespace engine {

using imaging::CommitTempFile;
using imaging::DiscardTempFile;
using imaging::MakeTempPathBeside;
using imaging::WriteFileAtomically;

}  // namespace engine
