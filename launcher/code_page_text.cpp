#include "code_page_text.h"

#include <windows.h>

#include "system_paths.h"

namespace launcher {

namespace {

// Where the process's code page is UTF-8 every character converts, but the
// conversion takes no flags and no default character.
bool codePageIsUtf8()
{
    return GetACP() == CP_UTF8;
}

int sizeOf(const std::wstring& text)
{
    return static_cast<int>(text.size());
}

// The conversion with the given flags and default character; *lost (when
// asked) tells whether the default character was used.
std::string toAnsi(const std::wstring& text, DWORD flags, const char* defaultChar, BOOL* lost)
{
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_ACP, flags, text.data(), sizeOf(text), nullptr, 0, defaultChar, lost);
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), sizeOf(text), ansi.data(), length, defaultChar, lost);
    return ansi;
}

bool isHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A character outside the basic plane (an emoji) is two UTF-16 units; no
// code page but UTF-8 has it, so it becomes a single unit that none has, and
// so a single "?", as one character should.
std::wstring pairsAsSingleUnits(const std::wstring& text)
{
    std::wstring single;
    single.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]);
        single += pair ? L'\xFFFD' : text[i];
        i += pair ? 1 : 0;
    }
    return single;
}

// The short form of the path, or of its nearest existing folder with the
// rest of the path as it stands.
std::optional<std::string> shortAnsiPath(const std::wstring& path)
{
    std::wstring rest;
    for (std::wstring head = path; !head.empty();) {
        if (std::optional<std::wstring> shortened = shortPathOf(head))
            return ansiWithoutLoss(*shortened + rest);
        const std::wstring::size_type slash = head.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash == 0)
            return std::nullopt;
        rest = head.substr(slash) + rest;
        head.erase(slash);
    }
    return std::nullopt;
}

} // namespace

std::wstring wideFromAnsi(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::optional<std::string> ansiWithoutLoss(const std::wstring& text)
{
    if (codePageIsUtf8()) {
        // Only a lone half of a surrogate pair cannot be written.
        if (!text.empty() && WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), sizeOf(text), nullptr, 0,
                                                 nullptr, nullptr) == 0) {
            return std::nullopt;
        }
        return toAnsi(text, 0, nullptr, nullptr);
    }
    BOOL lost = FALSE;
    std::string ansi = toAnsi(text, WC_NO_BEST_FIT_CHARS, nullptr, &lost);
    if (lost)
        return std::nullopt;
    return ansi;
}

std::string ansiForLog(const std::wstring& text)
{
    if (codePageIsUtf8())
        return toAnsi(text, 0, nullptr, nullptr);
    BOOL lost = FALSE;
    return toAnsi(pairsAsSingleUnits(text), WC_NO_BEST_FIT_CHARS, "?", &lost);
}

std::string ansiPathForVm(const std::wstring& path)
{
    if (std::optional<std::string> ansi = ansiWithoutLoss(path))
        return *ansi;
    if (std::optional<std::string> shortened = shortAnsiPath(path))
        return *shortened;
    return ansiForLog(path);
}

} // namespace launcher
