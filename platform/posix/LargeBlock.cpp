#include "platform/LargeBlock.h"

#include <cstdlib>
#include <sys/mman.h>

namespace platform {

namespace {
// Under AddressSanitizer the block comes from malloc instead, so that every
// access past either end of it is reported.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckedHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCheckedHeap = true;
#else
constexpr bool kCheckedHeap = false;
#endif
#else
constexpr bool kCheckedHeap = false;
#endif
} // namespace

void* AllocateLargeBlock(size_t size) {
    if (kCheckedHeap) return std::malloc(size);
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    // Only a hint: where transparent huge pages are off it changes nothing.
    (void)::madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void FreeLargeBlock(void* block, size_t size) {
    if (block == nullptr) return;
    if (kCheckedHeap)
        std::free(block);
    else
        ::munmap(block, size);
}

} // namespace platform
