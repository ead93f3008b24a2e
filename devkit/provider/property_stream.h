// A property's value served as a read-only IStream, as IMAPIProp::OpenProperty gives it.
#pragma once
#include "com_object.h"
#include "properties.h"

#include <memory>

namespace maildir {

class PropertyStream final : public ComObject<IStream> {
public:
    explicit PropertyStream(std::shared_ptr<const Bytes> data, ULONGLONG position = 0)
        : data_(std::move(data)), position_(position) {}

    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
    STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override;
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                        ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD flags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    STDMETHODIMP Clone(IStream** copy) override;

private:
    bool answers(REFIID iid) const override {
        return oneOf(iid, {&IID_IStream, &IID_ISequentialStream});
    }

    std::shared_ptr<const Bytes> data_; // shared with clones
    ULONGLONG position_;                // may lie past the end, as after any seek there
};

// OpenProperty of a message: `tag`'s value as a stream, for IID_IStream and reading only.
HRESULT openPropertyStream(const Properties& properties, ULONG tag, LPCIID iid, ULONG flags,
                           LPUNKNOWN* object);

} // namespace maildir
