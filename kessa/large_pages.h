#pragma once

// Internal to the kessa library: an allocator for arrays of many megabytes, such as the values of
// a large text, which the system backs with large pages where it can. Each page the program first
// touches costs a fault; on Linux a 2 MiB page costs one where 4 KiB pages cost 512.

#include <cstddef>
#include <cstdint>
#include <new>

namespace kessa::detail {

/// `bytes` of memory, in large pages where the system has them for the asking; raises
/// std::bad_alloc.
void* allocateLarge(std::size_t bytes);
/// Frees what allocateLarge(bytes) gave.
void freeLarge(void* memory, std::size_t bytes) noexcept;

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) {
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocateLarge(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept { freeLarge(memory, count * sizeof(T)); }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace kessa::detail
