#include "block_table.h"

#include <cstdint>
#include <new>

namespace comfake {

BlockTable::BlockTable()
    : slots(
          static_cast<Block*>(VirtualAlloc(nullptr, kSlots * sizeof(Block), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)))
{
    // Zeroed pages: every slot starts Empty.
    if (slots == nullptr)
        throw std::bad_alloc();
}

BlockTable::~BlockTable()
{
    VirtualFree(slots, 0, MEM_RELEASE);
}

size_t BlockTable::home(const void* memory) noexcept
{
    // Blocks are aligned, so the low bits say little: mix all of them.
    uint64_t key = reinterpret_cast<uintptr_t>(memory);
    key ^= key >> 33;
    key *= 0xFF51AFD7ED558CCDull;
    key ^= key >> 33;
    return static_cast<size_t>(key) & (kSlots - 1);
}

Block* BlockTable::find(const void* memory) noexcept
{
    for (size_t slot = home(memory);; slot = (slot + 1) & (kSlots - 1)) {
        if (slots[slot].state == BlockState::Empty)
            return nullptr;
        if (slots[slot].memory == memory)
            return &slots[slot];
    }
}

Block* BlockTable::insert(void* memory) noexcept
{
    size_t slot = home(memory);
    for (; slots[slot].state != BlockState::Empty; slot = (slot + 1) & (kSlots - 1)) {
        if (slots[slot].memory == memory)
            return &slots[slot];
    }
    // Empty slots always remain, so that every search ends.
    if (used >= kCapacity)
        return nullptr;
    ++used;
    slots[slot] = Block{memory, 0, 0, BlockState::Live, false};
    return &slots[slot];
}

void BlockTable::erase(Block& block) noexcept
{
    // Linear probing without markers: later blocks of the same run move back
    // into the hole whenever the hole lies between their home and their slot.
    size_t hole = static_cast<size_t>(&block - slots);
    for (size_t next = (hole + 1) & (kSlots - 1); slots[next].state != BlockState::Empty;
         next = (next + 1) & (kSlots - 1)) {
        const size_t wanted = home(slots[next].memory);
        if (((next - wanted) & (kSlots - 1)) >= ((next - hole) & (kSlots - 1))) {
            slots[hole] = slots[next];
            hole = next;
        }
    }
    slots[hole] = Block{};
    --used;
}

} // namespace comfake
