#include "frame_pattern.h"

#include <cstring>

namespace capdev {
namespace {

uint8_t patternByte(uint32_t sequence, size_t position)
{
    const uint32_t word = (sequence * 2654435761u) ^ static_cast<uint32_t>(position / 4) * 40503u ^ 0x5A5A5A5Au;
    return static_cast<uint8_t>(word >> (8 * (position % 4)));
}

} // namespace

void writeFrame(uint8_t* bytes, size_t length, uint32_t sequence)
{
    // The sequence number leads the frame; the pattern follows it.
    const size_t head = length < sizeof(sequence) ? length : sizeof(sequence);
    std::memcpy(bytes, &sequence, head);
    for (size_t i = head; i < length; ++i)
        bytes[i] = patternByte(sequence, i);
}

std::optional<uint32_t> readFrame(const uint8_t* bytes, size_t length, size_t size)
{
    if (length < sizeof(uint32_t) || length > size)
        return std::nullopt;
    uint32_t sequence = 0;
    std::memcpy(&sequence, bytes, sizeof(sequence));
    for (size_t i = sizeof(sequence); i < length; ++i) {
        if (bytes[i] != patternByte(sequence, i))
            return std::nullopt;
    }
    for (size_t i = length; i < size; ++i) {
        if (bytes[i] != 0)
            return std::nullopt;
    }
    return sequence;
}

} // namespace capdev
