#include "property_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace maildir {

STDMETHODIMP PropertyStream::Read(void* buffer, ULONG size, ULONG* read) {
    if (read)
        *read = 0;
    if (!buffer && size)
        return STG_E_INVALIDPOINTER;
    const ULONGLONG length = data_->size();
    const ULONG count =
        position_ < length ? ULONG(std::min<ULONGLONG>(size, length - position_)) : 0;
    if (count)
        std::memcpy(buffer, data_->data() + position_, count);
    position_ += count;
    if (read)
        *read = count;
    return S_OK; // a short read, or none at the end, is not an error
}

STDMETHODIMP PropertyStream::Write(const void*, ULONG, ULONG* written) {
    if (written)
        *written = 0;
    return STG_E_ACCESSDENIED;
}

STDMETHODIMP PropertyStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    LONGLONG start;
    switch (origin) {
    case STREAM_SEEK_SET:
        start = 0;
        break;
    case STREAM_SEEK_CUR:
        start = LONGLONG(position_);
        break;
    case STREAM_SEEK_END:
        start = LONGLONG(data_->size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    // Before the start is refused; past the end is allowed and reads nothing.
    if (move.QuadPart < -start || move.QuadPart > LLONG_MAX - start)
        return STG_E_INVALIDFUNCTION;
    position_ = ULONGLONG(start + move.QuadPart);
    if (position)
        position->QuadPart = position_;
    return S_OK;
}

STDMETHODIMP PropertyStream::SetSize(ULARGE_INTEGER) {
    return STG_E_ACCESSDENIED;
}

STDMETHODIMP PropertyStream::CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                    ULARGE_INTEGER* written) {
    if (read)
        read->QuadPart = 0;
    if (written)
        written->QuadPart = 0;
    if (!target)
        return STG_E_INVALIDPOINTER;
    const ULONGLONG length = data_->size();
    const ULONGLONG left = position_ < length ? length - position_ : 0;
    const ULONG count = ULONG(std::min<ULONGLONG>(size.QuadPart, left)); // values are below 4 GB
    ULONG copied = 0;
    const HRESULT result = count ? target->Write(data_->data() + position_, count, &copied) : S_OK;
    position_ += count;
    if (read)
        read->QuadPart = count;
    if (written)
        written->QuadPart = copied;
    return result;
}

STDMETHODIMP PropertyStream::Commit(DWORD) {
    return S_OK; // nothing was changed
}

STDMETHODIMP PropertyStream::Revert() {
    return S_OK;
}

STDMETHODIMP PropertyStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP PropertyStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP PropertyStream::Stat(STATSTG* stat, DWORD) {
    if (!stat)
        return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat); // no name, whatever the flags ask
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = data_->size();
    stat->grfMode = STGM_READ;
    return S_OK;
}

STDMETHODIMP PropertyStream::Clone(IStream** copy) {
    if (!copy)
        return STG_E_INVALIDPOINTER;
    *copy = make<PropertyStream>(data_, position_);
    return *copy ? S_OK : E_OUTOFMEMORY;
}

HRESULT openPropertyStream(const Properties& properties, ULONG tag, LPCIID iid, ULONG flags,
                           LPUNKNOWN* object) {
    if (!object || !iid)
        return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    if (!IsEqualIID(*iid, IID_IStream))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (flags & (MAPI_MODIFY | MAPI_CREATE))
        return MAPI_E_NO_ACCESS; // messages of the store are read-only
    const Property* property = find(properties, tag);
    ULONG type = PROP_TYPE(tag);
    if (property && type == PT_UNSPECIFIED)
        type = PROP_TYPE(property->tag);
    std::optional<Bytes> bytes = property ? valueBytes(*property, type) : std::nullopt;
    if (!bytes)
        return MAPI_E_NOT_FOUND;
    auto data = std::make_shared<const Bytes>(std::move(*bytes));
    *object = make<PropertyStream>(std::move(data));
    return *object ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace maildir
