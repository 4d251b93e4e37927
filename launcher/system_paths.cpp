#include "system_paths.h"

#include <windows.h>

#include <vector>

namespace launcher {

namespace {

// A path beyond the system's limit counts as not existing.
DWORD attributesOf(const std::wstring& path)
{
    return path.size() <= MAX_PATH ? GetFileAttributesW(path.c_str()) : INVALID_FILE_ATTRIBUTES;
}

// The text a size-asking call writes: asked first for the size, then asked
// again while the text keeps growing in between. None when the call fails.
template <typename Call>
std::optional<std::wstring> sizedText(Call call)
{
    DWORD size = call(nullptr, 0);
    while (size != 0) {
        std::vector<wchar_t> text(size);
        const DWORD length = call(text.data(), size);
        if (length == 0)
            break;
        if (length < size)
            return std::wstring(text.data(), length);
        size = length;
    }
    return std::nullopt;
}

} // namespace

bool pathExists(const std::wstring& path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool folderExists(const std::wstring& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring fullPathOf(const std::wstring& path)
{
    return sizedText([&](wchar_t* text, DWORD size) { return GetFullPathNameW(path.c_str(), size, text, nullptr); })
        .value_or(path);
}

std::optional<std::wstring> shortPathOf(const std::wstring& path)
{
    return sizedText([&](wchar_t* text, DWORD size) { return GetShortPathNameW(path.c_str(), text, size); });
}

std::wstring longPathOf(const std::wstring& path)
{
    return sizedText([&](wchar_t* text, DWORD size) { return GetLongPathNameW(path.c_str(), text, size); })
        .value_or(path);
}

std::wstring runningProgramPath()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size())
            return std::wstring(path.data(), length);
        path.resize(path.size() * 2); // cut short: try again with more room
    }
}

std::optional<std::wstring> environmentValue(const wchar_t* name)
{
    return sizedText([&](wchar_t* text, DWORD size) { return GetEnvironmentVariableW(name, text, size); });
}

} // namespace launcher
