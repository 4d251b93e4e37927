#include "media/pixel_groups.h"

#include <array>
#include <cstring>
#include <tmmintrin.h>

namespace pellux {
namespace {

constexpr std::size_t kGroup = 3;
// A block is three 16-byte registers: 16 groups of 3 bytes.
constexpr std::size_t kBlockGroups = 16;
constexpr std::size_t kBlockBytes = kBlockGroups * kGroup;
constexpr unsigned char kZero = 0x80; // a PSHUFB index that yields 0

using Mask = std::array<unsigned char, 16>;
using Masks = std::array<std::array<Mask, 3>, 3>;

// masks[r][q]: the bytes of output register r that come from input register q
// of the reversed block, at their positions; kZero elsewhere.
constexpr Masks blockMasks()
{
    Masks masks{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t q = 0; q < 3; ++q) {
            for (std::size_t i = 0; i < 16; ++i) {
                const std::size_t out = 16 * r + i;
                const std::size_t in = (kBlockGroups - 1 - out / kGroup) * kGroup + out % kGroup;
                masks[r][q][i] = in / 16 == q ? static_cast<unsigned char>(in % 16) : kZero;
            }
        }
    }
    return masks;
}

alignas(16) constexpr Masks kMasks = blockMasks();

constexpr bool isEmpty(const Mask& mask)
{
    for (unsigned char index : mask) {
        if (index != kZero)
            return false;
    }
    return true;
}
// The first output register takes nothing from the first input register, and
// the last nothing from the last: seven shuffles a block, not nine.
static_assert(isEmpty(kMasks[0][0]) && isEmpty(kMasks[2][2]));

__attribute__((target("ssse3"))) __m128i mask(std::size_t r, std::size_t q)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks[r][q].data()));
}

void reverseGroupsPortably(const unsigned char* source, unsigned char* target, std::size_t groups) noexcept
{
    for (std::size_t k = 0; k < groups; ++k)
        std::memcpy(target + k * kGroup, source + (groups - 1 - k) * kGroup, kGroup);
}

// Whole blocks with SSSE3 byte shuffles; returns how many groups it wrote.
__attribute__((target("ssse3"))) std::size_t reverseBlocks(const unsigned char* source, unsigned char* target,
                                                           std::size_t groups) noexcept
{
    const std::size_t blocks = groups / kBlockGroups;
    const __m128i m01 = mask(0, 1), m02 = mask(0, 2);
    const __m128i m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2);
    const __m128i m20 = mask(2, 0), m21 = mask(2, 1);
    for (std::size_t b = 0; b < blocks; ++b) {
        const unsigned char* in = source + (groups - (b + 1) * kBlockGroups) * kGroup;
        unsigned char* out = target + b * kBlockBytes;
        const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i s2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(s1, m01), _mm_shuffle_epi8(s2, m02));
        const __m128i o1 =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(s0, m10), _mm_shuffle_epi8(s1, m11)), _mm_shuffle_epi8(s2, m12));
        const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(s0, m20), _mm_shuffle_epi8(s1, m21));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), o0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), o1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), o2);
    }
    return blocks * kBlockGroups;
}

} // namespace

void reversePixelGroups(const unsigned char* source, unsigned char* target, std::size_t length) noexcept
{
    const std::size_t groups = length / kGroup;
    std::size_t done = 0;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3"))
        done = reverseBlocks(source, target, groups);
    // The source groups left are the first ones, and they go to the end.
    reverseGroupsPortably(source, target + done * kGroup, groups - done);
}

} // namespace pellux
