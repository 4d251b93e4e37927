#include "runtime_home.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

namespace standin {

namespace {

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ownFile()
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&runtimeHome), &self);
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// A real runtime knows its version whatever an editor did to its "release"
// file, so the stand-in reads the line with every blank, tab, line end and
// byte-order mark left out.
std::string withoutSpacing(std::string line)
{
    const std::string byteOrderMark = "\xEF\xBB\xBF";
    if (line.compare(0, byteOrderMark.size(), byteOrderMark) == 0)
        line.erase(0, byteOrderMark.size());
    line.erase(std::remove_if(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c) != 0; }),
               line.end());
    return line;
}

} // namespace

std::string runtimeHome()
{
    return parentOf(parentOf(parentOf(ownFile())));
}

int releaseFeatureVersion(const std::string& home)
{
    const std::string prefix = "JAVA_VERSION=\"";
    std::ifstream release(home + "\\release");
    for (std::string read; std::getline(release, read);) {
        const std::string line = withoutSpacing(read);
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string version = line.substr(prefix.size());
        if (version.compare(0, 2, "1.") == 0)
            version.erase(0, 2);
        return std::atoi(version.c_str());
    }
    return 0;
}

} // namespace standin
