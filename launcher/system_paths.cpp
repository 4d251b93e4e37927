#include "system_paths.h"

#include <windows.h>

#include <vector>

namespace launcher {

bool pathExists(const std::string& path)
{
    return path.size() <= MAX_PATH && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> environmentValue(const char* name)
{
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    while (size != 0) {
        std::vector<char> value(size);
        DWORD length = GetEnvironmentVariableA(name, value.data(), size);
        if (length == 0)
            break;
        if (length < size)
            return std::string(value.data(), length);
        size = length; // the value grew in between: ask again with the new size
    }
    return std::nullopt;
}

} // namespace launcher
