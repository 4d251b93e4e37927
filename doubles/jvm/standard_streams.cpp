#include "standard_streams.h"

#include <windows.h>

namespace standin {

namespace {

struct BoundHandles {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
};

// Initialised while jvm.dll is being loaded.
const BoundHandles bound;

void printLine(HANDLE stream, const std::string& text)
{
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

void printToStandardOutput(const std::string& line)
{
    printLine(bound.output, line);
}

void printToStandardError(const std::string& line)
{
    printLine(bound.error, line);
}

} // namespace standin
