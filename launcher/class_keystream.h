// The keystream that the application's class files are stored under.
//
// The class-packing tool scrambles bytes 8 onward of each class file with it
// and the launcher's defineClass native restores them; both include this
// header, so the seven parameters below exist exactly once. The keystream
// depends only on the class name, so applying it twice restores the input.
#ifndef TAVRIN_LAUNCHER_CLASS_KEYSTREAM_H
#define TAVRIN_LAUNCHER_CLASS_KEYSTREAM_H

#include <cstdint>
#include <cstring>

namespace classkey {

// Seed from the class name.
constexpr std::uint32_t seedMultiplier = 0x01000193u;
constexpr std::uint32_t seedAddend = 0x2B5A7C1Du;
// Key byte from the state.
constexpr std::int32_t remainderDivisor = 65521;
constexpr std::uint8_t keyByte = 0xA7u;
// State advance.
constexpr int shiftCount = 13;
constexpr std::uint32_t stateMultiplier = 0x41C64E6Du;
constexpr std::uint32_t stateConstant = 0x3C6EF372u;

// The magic number and version of a class file stay as they are.
constexpr std::int32_t firstScrambledByte = 8;

// Bytes of the name from its terminating zero back to its first byte, each
// as a signed 8-bit value.
inline std::uint32_t seedFor(const char* name)
{
    std::uint32_t seed = 0;
    for (std::size_t i = std::strlen(name) + 1; i-- > 0;) {
        auto byte = static_cast<std::int32_t>(static_cast<signed char>(name[i]));
        seed = seed * seedMultiplier + static_cast<std::uint32_t>(byte) + seedAddend;
    }
    return seed;
}

inline std::uint8_t keyFor(std::uint32_t seed)
{
    auto remainder = static_cast<std::int32_t>(seed) % remainderDivisor; // truncated toward zero
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(remainder) & 0xFFu) ^ keyByte;
}

inline std::uint32_t advance(std::uint32_t seed)
{
    auto shifted = static_cast<std::uint32_t>(static_cast<std::int32_t>(seed) >> shiftCount); // arithmetic
    return shifted ^ (seed * stateMultiplier) ^ stateConstant;
}

// Scrambles or restores bytes[8 .. length-1] in place for the named class.
inline void applyClassKeystream(const char* name, void* bytes, std::int32_t length)
{
    auto* data = static_cast<std::uint8_t*>(bytes);
    std::uint32_t seed = seedFor(name);
    for (std::int32_t i = firstScrambledByte; i < length; ++i) {
        data[i] ^= keyFor(seed);
        seed = advance(seed);
    }
}

} // namespace classkey

#endif
