// Heap allocations made through operator new since the start of the benchmark binary that links
// AllocationCounter.cpp (which replaces the global operator new and delete).
#pragma once

#include <cstdint>

namespace halcyra::bench {

std::uint64_t AllocationCount();

}  // namespace halcyra::bench
