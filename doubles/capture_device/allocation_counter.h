// Counts the allocations each thread makes, through the global operator new.
#pragma once

#include <cstddef>

namespace allocations {

// Allocations made by the calling thread so far.
size_t ofThisThread();

} // namespace allocations
