// The largest block asked of operator new while a watch is running, on any thread and in any
// library of the test program (TagLib allocates through the program's operator new).
#pragma once

#include <cstddef>

namespace velmora::test {

class TAllocationWatch {
  public:
    TAllocationWatch();  // starts watching, from zero
    ~TAllocationWatch();
    TAllocationWatch(const TAllocationWatch&) = delete;
    TAllocationWatch& operator=(const TAllocationWatch&) = delete;
    // Stops watching; returns the largest size asked while it ran.
    size_t Stop();
};

}  // namespace velmora::test
