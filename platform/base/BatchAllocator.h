// Allocator settings for programs that convert message after message.
#pragma once

#include <malloc.h>

namespace platform {

// Messages go through buffers of similar sizes one after the other: keep freed memory for the next
// message instead of handing it back to the system and faulting it in again. Buffers above 64 MB
// still come from the system and return to it.
inline void KeepFreedMemoryForTheNextMessage()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

} // namespace platform
