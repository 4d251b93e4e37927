// The bytes a test capture device sends: every 32-bit word of a sample is
// derived from the sample's sequence number and the word's position, so a
// reader can tell a good frame from a torn, shifted or stale one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace capdev {

// Fills `length` bytes for sample number `sequence`.
void writeFrame(uint8_t* bytes, size_t length, uint32_t sequence);

// The sequence number when the first `length` bytes are one whole frame and
// the rest of `size` is zero; otherwise none.
std::optional<uint32_t> readFrame(const uint8_t* bytes, size_t length, size_t size);

} // namespace capdev
