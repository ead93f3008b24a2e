#include "allocator.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace maildir {

namespace {

constexpr ULONG magic = 0x4D41494C; // "MAIL"

// Sits in front of every block; 16 bytes so that the caller's data stays aligned.
struct alignas(16) Header {
    ULONG magic;
    Header* more; // blocks chained to a buffer by MAPIAllocateMore
};

std::atomic<long> buffers{0};
std::mutex chainLock; // MAPIAllocateMore may run on several threads for one buffer

Header* headerOf(void* data) {
    return static_cast<Header*>(data) - 1;
}

void* allocateBlock(ULONG size) {
    auto* header = static_cast<Header*>(std::calloc(1, sizeof(Header) + size));
    if (!header)
        return nullptr;
    header->magic = magic;
    return header + 1;
}

} // namespace

SCODE allocateBuffer(ULONG size, void** buffer) {
    if (!buffer)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = allocateBlock(size);
    if (!*buffer)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    ++buffers;
    return S_OK;
}

SCODE allocateMore(ULONG size, void* base, void** buffer) {
    if (!buffer || !base || headerOf(base)->magic != magic)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = allocateBlock(size);
    if (!*buffer)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::lock_guard lock(chainLock);
    Header* root = headerOf(base);
    Header* block = headerOf(*buffer);
    block->more = root->more;
    root->more = block;
    return S_OK;
}

ULONG freeBuffer(void* buffer) {
    if (!buffer)
        return S_OK;
    Header* header = headerOf(buffer);
    if (header->magic != magic)
        return ULONG(MAPI_E_INVALID_PARAMETER);
    header->magic = 0;
    --buffers;
    for (Header* block = header; block;) {
        Header* next = block->more;
        std::free(block);
        block = next;
    }
    return S_OK;
}

long liveBuffers() {
    return buffers;
}

} // namespace maildir
