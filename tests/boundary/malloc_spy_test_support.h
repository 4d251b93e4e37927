// What the malloc spy's own tests share.
#pragma once

#include "block_table.h"

#include <objbase.h>
#include <wrl/client.h>

#include <vector>

#include <gtest/gtest.h>

namespace spytest {

// What the task allocator answers for the memory: 1 its own, 0 not.
inline int didAlloc(void* memory)
{
    Microsoft::WRL::ComPtr<IMalloc> allocator;
    EXPECT_EQ(CoGetMalloc(MEMCTX_TASK, &allocator), S_OK);
    return allocator->DidAlloc(memory);
}

// Allocates one block more than the spy's table records and frees them all
// in order: the first is recorded, and kept by the spy; the last is one it
// had no room for, which goes straight back to the heap. Returns how many.
inline size_t overflowTheSpyTable()
{
    std::vector<void*> blocks(comfake::BlockTable::kCapacity + 1);
    for (void*& block : blocks)
        block = CoTaskMemAlloc(1);
    for (void* block : blocks)
        CoTaskMemFree(block);
    EXPECT_EQ(didAlloc(blocks.front()), 1) << "a recorded block was not kept";
    EXPECT_EQ(didAlloc(blocks.back()), 0) << "a block the spy could not record was not given back to the heap";
    return blocks.size();
}

} // namespace spytest
