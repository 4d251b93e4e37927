// wine-probe: the smallest program of the build's architecture. The test
// command runs the x86 one to learn whether, and how, this host runs 32-bit
// Windows programs (some kernels have 32-bit execution turned off). It also
// says whether the program runs as a 32-bit program on 64-bit Windows does.
#include <windows.h>

#include <cstdio>

int main()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    std::printf("%u-bit Windows programs run here (IsWow64Process: %s)\n", static_cast<unsigned>(sizeof(void*) * 8),
                wow64 ? "true" : "false");
    return 0;
}
