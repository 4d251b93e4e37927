#include "system_paths.h"

#include <windows.h>

#include <vector>

namespace launcher {

namespace {

// A path beyond the system's limit counts as not existing.
DWORD attributesOf(const std::string& path)
{
    return path.size() <= MAX_PATH ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool pathExists(const std::string& path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool folderExists(const std::string& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string fullPathOf(const std::string& path)
{
    DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    while (size != 0) {
        std::vector<char> full(size);
        DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
        if (length == 0)
            break;
        if (length < size)
            return std::string(full.data(), length);
        size = length; // the current folder changed in between
    }
    return path;
}

std::string runningProgramPath()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size())
            return std::string(path.data(), length);
        path.resize(path.size() * 2); // cut short: try again with more room
    }
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

std::wstring wideFromAnsi(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

} // namespace launcher
