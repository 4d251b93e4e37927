// The malloc spy's record of task memory blocks by address: a table of fixed
// size, reserved once, so that recording and looking up a block never
// allocates (the spy's callbacks run inside COM's allocator lock, where an
// allocation failure could only unwind through COM or end the program).
// Not locked: its owner guards it.
#pragma once

#include <windows.h>

#include <cstddef>

namespace comfake {

enum class BlockState : unsigned char {
    Empty,     // a free slot of the table
    Live,      // handed out and not freed
    Kept,      // freed during a scope, filled and held from the heap until the scope ends
    Releasing, // given back to the heap by the end of its scope
};

struct Block {
    void* memory;
    SIZE_T size;
    unsigned scope; // allocated in (Live) or freed in (Kept); 0: none, or reported already
    BlockState state;
    bool outside; // allocated while no scope was open, and still live
};

class BlockTable {
public:
    static constexpr size_t kSlots = size_t{1} << 17;
    // The blocks it records at most: three quarters of its slots, so that a
    // search stays short however many blocks are recorded.
    static constexpr size_t kCapacity = kSlots / 4 * 3;

    BlockTable();
    ~BlockTable();
    BlockTable(const BlockTable&) = delete;
    BlockTable& operator=(const BlockTable&) = delete;

    // The block at `memory`, or null.
    Block* find(const void* memory) noexcept;
    // The slot for `memory`, its own if recorded already; null when the
    // table holds kCapacity blocks.
    Block* insert(void* memory) noexcept;
    void erase(Block& block) noexcept;

    template <typename Visit>
    void forEach(Visit visit)
    {
        for (size_t slot = 0; slot < kSlots; ++slot) {
            if (slots[slot].state != BlockState::Empty)
                visit(slots[slot]);
        }
    }

private:
    static size_t home(const void* memory) noexcept;

    Block* slots;
    size_t used = 0;
};

} // namespace comfake
