// A Windows GUI program, like Tavrin.exe, that writes the standard handles it
// was started with into the file its command-line tail names: one line each
// for input, output and error, the handle in hexadecimal.
#include <windows.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR tail, int)
{
    std::FILE* report = std::fopen(tail, "w");
    if (!report)
        return 1;
    const struct {
        const char* name;
        DWORD which;
    } handles[] = {{"input", STD_INPUT_HANDLE}, {"output", STD_OUTPUT_HANDLE}, {"error", STD_ERROR_HANDLE}};
    for (const auto& handle : handles) {
        const auto value = reinterpret_cast<std::uintptr_t>(GetStdHandle(handle.which));
        std::fprintf(report, "%s %" PRIxPTR "\n", handle.name, value);
    }
    return std::fclose(report) == 0 ? 0 : 1;
}
