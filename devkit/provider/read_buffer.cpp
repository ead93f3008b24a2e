#include "read_buffer.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace maildir {

namespace {

// One-page buffers come from a pool of pages reserved a region at a time, since the system
// hands out address space in units of 64 KiB. The pool lives as long as the process: a read
// that was cancelled but never completed may still write into its page.
class PagePool {
public:
    DWORD pageSize() const { return pageSize_; }

    void* take() {
        std::lock_guard guard(lock_);
        if (free_.empty()) {
            auto* region = static_cast<char*>(
                VirtualAlloc(nullptr, regionSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
            if (!region)
                return nullptr;
            for (DWORD offset = regionSize_; offset > 0; offset -= pageSize_)
                free_.push_back(region + offset - pageSize_);
        }
        void* page = free_.back();
        free_.pop_back();
        return page;
    }

    void give(void* page) {
        // What was written there is of no interest: the system may drop the page until it is
        // written again.
        VirtualAlloc(page, pageSize_, MEM_RESET, PAGE_READWRITE);
        std::lock_guard guard(lock_);
        free_.push_back(page);
    }

    static PagePool& instance() {
        static PagePool* pool = new PagePool; // for the life of the process, see above
        return *pool;
    }

private:
    PagePool() {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        pageSize_ = system.dwPageSize;
        regionSize_ = std::max(system.dwAllocationGranularity, pageSize_);
    }

    std::mutex lock_;
    std::vector<void*> free_;
    DWORD pageSize_ = 4096;
    DWORD regionSize_ = 65536;
};

} // namespace

ReadBuffer::ReadBuffer(DWORD size) {
    PagePool& pool = PagePool::instance();
    const DWORD page = pool.pageSize();
    size = std::max<DWORD>((size + page - 1) / page * page, page);
    data_ = size == page ? pool.take()
                         : VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    size_ = data_ ? size : 0;
}

ReadBuffer::~ReadBuffer() {
    release();
}

ReadBuffer::ReadBuffer(ReadBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ReadBuffer& ReadBuffer::operator=(ReadBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void ReadBuffer::release() {
    if (!data_)
        return;
    PagePool& pool = PagePool::instance();
    if (size_ == pool.pageSize())
        pool.give(data_);
    else
        VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
}

} // namespace maildir
