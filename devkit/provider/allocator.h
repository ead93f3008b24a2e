// The MAPI allocators: a buffer and the blocks linked to it with MAPIAllocateMore are freed
// together by MAPIFreeBuffer.
#pragma once
#include "mapi.h"

namespace maildir {
SCODE allocateBuffer(ULONG size, void** buffer);
SCODE allocateMore(ULONG size, void* base, void** buffer);
ULONG freeBuffer(void* buffer);
// Buffers handed out and not yet freed, for the leak check of the tests.
long liveBuffers();
} // namespace maildir
