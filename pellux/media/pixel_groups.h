// The reversal of 3-byte pixel groups that turns a bottom-up 24-bit bitmap
// into the top-row-first order the Java side reads.
#pragma once

#include <cstddef>

namespace pellux {

// Writes the length / 3 groups of 3 bytes of `source` to `target` in reverse
// group order (group k of the target is group n - 1 - k of the source), the
// bytes within a group keeping their order. The last length % 3 bytes of
// `target` are not written. The buffers must not overlap.
void reversePixelGroups(const unsigned char* source, unsigned char* target, std::size_t length) noexcept;

} // namespace pellux
