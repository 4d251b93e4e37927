#include "command_line.h"

#include <windows.h>

#include "code_page_text.h"
#include "launch_log.h"

namespace launcher {

namespace {

// Where the tail starts in the full command line. The tail is the end of the
// command line, so it is looked for there first: an earlier occurrence of the
// same text inside the program's own path must not cut that path short.
std::wstring::size_type tailPosition(const std::wstring& full, const std::wstring& tail)
{
    if (tail.empty())
        return 0;
    if (full.size() >= tail.size() && full.compare(full.size() - tail.size(), tail.size(), tail) == 0) {
        return full.size() - tail.size();
    }
    return full.find(tail);
}

bool isDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

std::wstring exeNameFromCommandLine(const std::wstring& tail)
{
    const wchar_t* full = GetCommandLineW();
    launchLog("CmdLine=%s\n", ansiForLog(full).c_str());
    launchLog("Args=%s\n", ansiForLog(tail).c_str());
    return exeNameFrom(full, tail);
}

std::wstring exeNameFrom(const std::wstring& fullCommandLine, const std::wstring& tail)
{
    std::wstring exe = fullCommandLine;
    std::wstring::size_type at = tailPosition(fullCommandLine, tail);
    if (at != std::wstring::npos && at != 0)
        exe.erase(at);
    std::wstring::size_type end = exe.find_last_not_of(L' ');
    exe.erase(end == std::wstring::npos ? 0 : end + 1);
    return unquotedCopy(exe);
}

std::wstring fileArgumentFromCommandLine(const std::wstring& tail)
{
    return unquotedCopy(tail);
}

std::wstring unquotedCopy(const std::wstring& text)
{
    if (text.empty() || text.front() != L'"' || text.back() != L'"')
        return text;
    // A lone quote is both the first and the last character: nothing is left.
    return text.size() < 2 ? std::wstring() : text.substr(1, text.size() - 2);
}

std::wstring directoryOf(const std::wstring& path)
{
    std::wstring::size_type slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return L".";
    std::wstring folder = path.substr(0, slash);
    bool driveRoot = folder.empty() || (folder.size() == 2 && folder[1] == L':');
    return driveRoot ? folder + L"\\" : folder;
}

bool isFullPath(const std::wstring& path)
{
    bool drive = path.size() >= 3 && isDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    return drive || path.rfind(L"\\\\", 0) == 0;
}

} // namespace launcher
