// The buffer of one directory read in flight. A store may watch thousands of directories that
// almost never change, so each buffer has pages of its own that nothing touches until a change
// is written into it: an idle directory's buffer then takes no memory, only address space.
#pragma once
#include <windows.h>

namespace maildir {

class ReadBuffer {
public:
    ReadBuffer() = default;
    // At least `size` bytes, rounded up to whole pages; empty when no memory is left.
    explicit ReadBuffer(DWORD size);
    ~ReadBuffer();
    ReadBuffer(ReadBuffer&& other) noexcept;
    ReadBuffer& operator=(ReadBuffer&& other) noexcept;
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    // DWORD-aligned, as the records of a read must be.
    void* data() const { return data_; }
    DWORD size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    void release();
    void* data_ = nullptr;
    DWORD size_ = 0;
};

} // namespace maildir
