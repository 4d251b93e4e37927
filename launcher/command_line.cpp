#include "command_line.h"

#include <windows.h>

#include <cctype>

#include "launch_log.h"

namespace launcher {

namespace {

// Where the tail starts in the full command line. The tail is the end of the
// command line, so it is looked for there first: an earlier occurrence of the
// same text inside the program's own path must not cut that path short.
std::string::size_type tailPosition(const std::string& full, const std::string& tail)
{
    if (tail.empty())
        return 0;
    if (full.size() >= tail.size() && full.compare(full.size() - tail.size(), tail.size(), tail) == 0) {
        return full.size() - tail.size();
    }
    return full.find(tail);
}

} // namespace

std::string exeNameFromCommandLine(const std::string& tail)
{
    const char* full = GetCommandLineA();
    launchLog("CmdLine=%s\n", full);
    launchLog("Args=%s\n", tail.c_str());
    return exeNameFrom(full, tail);
}

std::string exeNameFrom(const std::string& fullCommandLine, const std::string& tail)
{
    std::string exe = fullCommandLine;
    std::string::size_type at = tailPosition(fullCommandLine, tail);
    if (at != std::string::npos && at != 0)
        exe.erase(at);
    std::string::size_type end = exe.find_last_not_of(' ');
    exe.erase(end == std::string::npos ? 0 : end + 1);
    return unquotedCopy(exe);
}

std::string fileArgumentFromCommandLine(const std::string& tail)
{
    return unquotedCopy(tail);
}

std::string unquotedCopy(const std::string& text)
{
    if (text.empty() || text.front() != '"' || text.back() != '"')
        return text;
    // A lone quote is both the first and the last character: nothing is left.
    return text.size() < 2 ? std::string() : text.substr(1, text.size() - 2);
}

std::string directoryOf(const std::string& path)
{
    std::string::size_type slash = path.rfind('\\');
    if (slash == std::string::npos)
        return ".";
    std::string folder = path.substr(0, slash);
    bool driveRoot = folder.empty() || (folder.size() == 2 && folder[1] == ':');
    return driveRoot ? folder + "\\" : folder;
}

bool isFullPath(const std::string& path)
{
    bool drive =
        path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    return drive || path.rfind("\\\\", 0) == 0;
}

} // namespace launcher
