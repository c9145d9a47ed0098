#include "kessa/large_pages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kessa::detail {

namespace {

/// Below this, memory comes from the heap as usual.
constexpr std::size_t kLarge = std::size_t{4} << 20;
constexpr std::size_t kPage = std::size_t{2} << 20;

std::size_t roundedUp(std::size_t bytes) {
    return (bytes + kPage - 1) / kPage * kPage;
}

}  // namespace

void* allocateLarge(std::size_t bytes) {
#ifdef __linux__
    if (bytes >= kLarge && bytes <= SIZE_MAX - 2 * kPage) {
        // A mapping one page longer than asked for, trimmed to start on a large page.
        const std::size_t size = roundedUp(bytes);
        void* mapped =
            mmap(nullptr, size + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        auto* start = static_cast<char*>(mapped);
        const std::size_t skip = (kPage - reinterpret_cast<std::uintptr_t>(start) % kPage) % kPage;
        if (skip != 0) munmap(start, skip);
        if (kPage - skip != 0) munmap(start + skip + size, kPage - skip);
        madvise(start + skip, size, MADV_HUGEPAGE);  // a wish; without it, small pages
        return start + skip;
    }
#endif
    return ::operator new(bytes);
}

void freeLarge(void* memory, std::size_t bytes) noexcept {
#ifdef __linux__
    if (bytes >= kLarge && bytes <= SIZE_MAX - 2 * kPage) {
        munmap(memory, roundedUp(bytes));
        return;
    }
#endif
    ::operator delete(memory);
}

}  // namespace kessa::detail
