// How the test program was started under Wine: the scripts that start Wine
// export the mode they chose (x64, native or wow64) as TAVRIN_WINE_MODE.
#pragma once

#include <windows.h>

#include <cstring>

namespace testsupport {

// True in Wine's WoW64 mode, which runs a 32-bit program inside a 64-bit Wine
// process. Wine 8 has no 32-bit thunks there for some of its Unix libraries,
// its GStreamer bridge among them: the Media Detector cannot open files.
inline bool runsInWineWow64Mode()
{
    char mode[16] = {};
    const DWORD length = GetEnvironmentVariableA("TAVRIN_WINE_MODE", mode, sizeof mode);
    return length > 0 && length < sizeof mode && std::strcmp(mode, "wow64") == 0;
}

} // namespace testsupport
