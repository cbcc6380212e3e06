// For tests that watch allocations: replaces the executable's global operator new, which first
// asks the test's allocationAllowed() (defined once in the executable) whether the allocation
// may go ahead, and throws std::bad_alloc when it may not. Include in one file of the test.
#pragma once

#include <cstdlib>
#include <new>

bool allocationAllowed(size_t size);

// The replacements pair malloc with free; GCC cannot tell once they are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    if (allocationAllowed(size)) {
        if (void* memory = std::malloc(size != 0 ? size : 1)) {
            return memory;
        }
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}
