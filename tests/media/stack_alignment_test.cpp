// A 32-bit JVM and DirectShow's streaming threads call into the library with a
// stack aligned to 4 bytes only. The SSSE3 pixel-group reversal must realign
// what it spills; called without that, it faults on an aligned SSE access.
#include "media/pixel_groups.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

struct Reversal {
    const unsigned char* source;
    unsigned char* target;
    std::size_t length;
};

extern "C" void reverseFor(void* reversal)
{
    const auto* r = static_cast<const Reversal*>(reversal);
    pellux::reversePixelGroups(r->source, r->target, r->length);
}

} // namespace

#if defined(__i386__)
// callMisaligned(fn, argument): calls fn(argument) with the stack pointer 4
// bytes off a 16-byte boundary at the call.
extern "C" void callMisaligned(void (*fn)(void*), void* argument);
asm(R"(
    .text
    .globl _callMisaligned
_callMisaligned:
    push %ebp
    mov %esp, %ebp
    and $-16, %esp
    sub $8, %esp
    push 12(%ebp)
    call *8(%ebp)
    mov %ebp, %esp
    pop %ebp
    ret
)");
#else
// x64 code is always called on a 16-byte-aligned stack: a plain call.
extern "C" void callMisaligned(void (*fn)(void*), void* argument)
{
    fn(argument);
}
#endif

TEST(PixelGroups, AreReversedWhenCalledOnAFourByteAlignedStack)
{
    constexpr std::size_t kGroups = 16 * 8 + 5; // whole SSSE3 blocks and a tail
    std::vector<unsigned char> source(kGroups * 3), target(kGroups * 3);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<unsigned char>(i * 7 + 1);
    Reversal reversal{source.data(), target.data(), source.size()};
    callMisaligned(&reverseFor, &reversal);
    for (std::size_t k = 0; k < kGroups; ++k) {
        for (std::size_t b = 0; b < 3; ++b)
            ASSERT_EQ(target[k * 3 + b], source[(kGroups - 1 - k) * 3 + b]) << "group " << k;
    }
}
