#include "platform/LargeBlock.h"

#include <windows.h>

namespace platform {

// Large pages need a privilege that ordinary users lack, so the block is
// made of ordinary pages, committed at once and backed only when touched.
void* AllocateLargeBlock(size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreeLargeBlock(void* block, size_t) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace platform
