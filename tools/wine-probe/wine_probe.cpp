// wine-probe: the smallest program of the build's architecture. The test
// command runs the x86 one to learn whether this host can run 32-bit Windows
// programs at all (some kernels have 32-bit execution turned off).
#include <cstdio>

int main()
{
    std::printf("%u-bit Windows programs run here\n", static_cast<unsigned>(sizeof(void*) * 8));
    return 0;
}
