// Handles carry an object's address through a Java long on both
// architectures: addresses with the 32-bit sign bit set (a large-address-aware
// 32-bit process) and addresses beyond 4 GiB (a 64-bit process) come back as
// they went.
#include "boundary/handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

struct Probe {
    int value;
};

std::vector<std::uintptr_t> addressesOfThisArchitecture()
{
    std::vector<std::uintptr_t> addresses{0x10000, 0x7FFF0000, 0x80000000, 0x80010000, 0xFFFF0000};
    if (sizeof(void*) == 8) {
        const unsigned long long wide[] = {0x100000000ULL, 0x7FF612340000ULL, 0x7FFFFFFF0000ULL};
        addresses.insert(addresses.end(), std::begin(wide), std::end(wide));
    }
    return addresses;
}

TEST(Handles, EveryAddressComesBackAsItWent)
{
    for (std::uintptr_t address : addressesOfThisArchitecture()) {
        Probe* object = reinterpret_cast<Probe*>(address);
        const jlong handle = pellux::toHandle(object);
        EXPECT_NE(handle, 0) << std::hex << address;
        EXPECT_EQ(pellux::fromHandleOrNull<Probe>(handle), object) << std::hex << address;
    }
}

TEST(Handles, AnObjectHighInTheAddressSpaceIsReachedThroughItsHandle)
{
    // The highest free pages this process has: above 2 GiB in a 32-bit
    // large-address-aware test program, above 4 GiB in a 64-bit one.
    void* page = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
    ASSERT_NE(page, nullptr);
    Probe* object = new (page) Probe{42};
    const jlong handle = pellux::toHandle(object);
    EXPECT_EQ(pellux::fromHandle<Probe>(handle).value, 42);
    pellux::fromHandle<Probe>(handle).value = 7;
    EXPECT_EQ(object->value, 7);
    VirtualFree(page, 0, MEM_RELEASE);
}

TEST(Handles, ZeroIsNoObject)
{
    EXPECT_EQ(pellux::toHandle<Probe>(nullptr), 0);
    EXPECT_EQ(pellux::fromHandleOrNull<Probe>(0), nullptr);
    EXPECT_THROW(pellux::fromHandle<Probe>(0), std::invalid_argument);
}

} // namespace
