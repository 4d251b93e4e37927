// Linked only into the variant of jvm.dll that needs the runtime library: the
// call at load time makes the import one the loader must resolve.
#include "runtime_library.h"

namespace {

const int runtimeLibraryVersion = standinRuntimeLibraryVersion();

} // namespace
