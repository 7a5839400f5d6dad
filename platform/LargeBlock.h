#pragma once
// A large block of memory for a table that is read and written at random
// (a compression model), taken straight from the system so that it can be
// backed by large pages where the system offers them: fewer address
// translations miss. Its bytes start undefined, and only the pages touched
// count towards the process's resident memory. Nothing here raises.
#include <cstddef>

namespace platform {

// The block, or null when the system cannot give it.
void* AllocateLargeBlock(size_t size);
// Gives a block from AllocateLargeBlock back; size as it was asked for.
void FreeLargeBlock(void* block, size_t size);

} // namespace platform
