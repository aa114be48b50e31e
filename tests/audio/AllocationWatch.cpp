// The test program's operator new and delete: malloc and free, with a note of the largest size
// asked while a TAllocationWatch runs. Kept in a file of their own so no call site inlines them.
#include "tests/audio/AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> Watching{false};
std::atomic<size_t> Largest{0};

void* Allocate(size_t size) noexcept {
    if (Watching.load(std::memory_order_relaxed)) {
        size_t seen = Largest.load();
        while (size > seen && !Largest.compare_exchange_weak(seen, size)) {
        }
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// The whole family without alignment, so that every block from one of them goes back through
// free (a sanitizer's own new with our delete would be a mismatch).
void* operator new(size_t size) {
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace velmora::test {

TAllocationWatch::TAllocationWatch() {
    Largest = 0;
    Watching = true;
}

TAllocationWatch::~TAllocationWatch() {
    Watching = false;
}

size_t TAllocationWatch::Stop() {
    Watching = false;
    return Largest.load();
}

}  // namespace velmora::test
