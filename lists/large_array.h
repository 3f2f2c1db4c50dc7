// A vector for the list's arrays of one element per row of a large table
// (the search keys, the rows a filter keeps). From 256 KiB on, its storage is
// asked for in large pages where the system gives them: filling it then
// touches a handful of pages rather than thousands, and each first touch
// of a page costs a fault (dearly so on virtual machines).
#pragma once

#include <cstddef>
#include <vector>

namespace velmor {

namespace largepages {
void* allocate(std::size_t bytes);
void release(void* storage, std::size_t bytes);
} // namespace largepages

template <typename T> struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U> LargePageAllocator(const LargePageAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(largepages::allocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { largepages::release(p, n * sizeof(T)); }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

template <typename T> using LargeArray = std::vector<T, LargePageAllocator<T>>;

} // namespace velmor
