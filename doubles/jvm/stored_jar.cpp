#include "stored_jar.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace standin {

namespace {

constexpr std::uint32_t localHeaderSignature = 0x04034b50u;
constexpr std::size_t localHeaderSize = 30;
constexpr std::uint16_t sizesFollowData = 0x0008u; // general purpose flag bit 3
constexpr std::uint16_t stored = 0;

std::uint32_t little(const std::vector<char>& bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

// Walks the local headers from the start of the archive.
std::optional<std::vector<char>> readStoredEntry(const std::string& archive, const std::string& entry)
{
    std::ifstream in(archive, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t at = 0;
    while (at + localHeaderSize <= bytes.size() && little(bytes, at, 4) == localHeaderSignature) {
        auto flags = static_cast<std::uint16_t>(little(bytes, at + 6, 2));
        auto method = static_cast<std::uint16_t>(little(bytes, at + 8, 2));
        std::uint32_t size = little(bytes, at + 18, 4);
        std::uint32_t nameLength = little(bytes, at + 26, 2);
        std::uint32_t extraLength = little(bytes, at + 28, 2);
        std::size_t data = at + localHeaderSize + nameLength + extraLength;
        if ((flags & sizesFollowData) || data + size > bytes.size())
            return std::nullopt;
        std::string name(bytes.begin() + static_cast<std::ptrdiff_t>(at + localHeaderSize),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + localHeaderSize + nameLength));
        if (name == entry) {
            if (method != stored)
                return std::nullopt;
            return std::vector<char>(bytes.begin() + static_cast<std::ptrdiff_t>(data),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(data + size));
        }
        at = data + size;
    }
    return std::nullopt;
}

} // namespace standin
