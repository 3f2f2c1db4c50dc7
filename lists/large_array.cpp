#include "lists/large_array.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmor::largepages {

namespace {

constexpr std::size_t largeFrom = std::size_t(256) << 10;
#if defined(__linux__)
constexpr std::size_t largePage = std::size_t(2) << 20;
#endif

} // namespace

void* allocate(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= largeFrom) {
        const std::size_t rounded = (bytes + largePage - 1) / largePage * largePage;
        void* storage = std::aligned_alloc(largePage, rounded);
        if (!storage)
            throw std::bad_alloc();
        madvise(storage, rounded, MADV_HUGEPAGE); // a hint: small pages otherwise
        return storage;
    }
#endif
    return ::operator new(bytes);
}

void release(void* storage, std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= largeFrom) {
        std::free(storage);
        return;
    }
#endif
    (void)bytes;
    ::operator delete(storage);
}

} // namespace velmor::largepages
