#include "java_version.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace launcher {

namespace {

// A release file is a few hundred bytes; anything beyond this is not read.
constexpr std::size_t releaseReadLimit = 64 * 1024;

std::string unquoted(const std::string& value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::optional<std::string> releaseJavaVersion(const std::string& releaseText)
{
    const std::string name = "JAVA_VERSION=";
    std::istringstream lines(releaseText);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, name.size(), name) == 0)
            return unquoted(line.substr(name.size()));
    }
    return std::nullopt;
}

std::optional<int> javaFeatureNumber(const std::string& version)
{
    const char* first = version.data();
    const char* last = first + version.size();
    if (version.compare(0, 2, "1.") == 0)
        first += 2;
    if (first == last || !std::isdigit(static_cast<unsigned char>(*first)))
        return std::nullopt;
    int feature = 0;
    if (std::from_chars(first, last, feature).ec != std::errc())
        return std::nullopt; // too large to be a version
    return feature;
}

std::optional<std::string> javaVersionOfHome(const std::wstring& home)
{
    std::ifstream release(std::filesystem::path(home + L"\\release"), std::ios::binary);
    if (!release)
        return std::nullopt;
    std::string text(releaseReadLimit, '\0');
    release.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(release.gcount()));
    return releaseJavaVersion(text);
}

} // namespace launcher
