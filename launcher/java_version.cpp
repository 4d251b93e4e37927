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
// What an editor may leave in the file: a UTF-8 byte-order mark at its start,
// blanks or tabs around the name, the "=" and the value.
constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char blanks[] = " \t";

std::string unquoted(const std::string& value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string withoutByteOrderMark(const std::string& text)
{
    const std::size_t markLength = sizeof utf8ByteOrderMark - 1;
    return text.compare(0, markLength, utf8ByteOrderMark) == 0 ? text.substr(markLength) : text;
}

} // namespace

std::optional<std::string> releaseJavaVersion(const std::string& releaseText)
{
    std::istringstream lines(withoutByteOrderMark(releaseText));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && trimmed(line.substr(0, equals)) == "JAVA_VERSION")
            return unquoted(trimmed(line.substr(equals + 1)));
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
