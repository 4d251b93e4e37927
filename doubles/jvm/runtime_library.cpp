#include "runtime_library.h"

extern "C" int standinRuntimeLibraryVersion()
{
    return 1;
}
