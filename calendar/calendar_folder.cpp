#include "calendar_folder.h"

#include "app/failure_trace.h"
#include "mail/receive_folder.h"

#include <mapidefs.h>
#include <mapitags.h>

#include <cstring>

namespace {

constexpr ULONG PR_IPM_APPOINTMENT_ENTRYID = PROP_TAG(PT_BINARY, 0x36D0); // not in every SDK
constexpr ULONG openFolderFlags = MAPI_DEFERRED_ERRORS;

// The property of one folder (no identifier: the root folder), copied; nothing without it.
MapiBuffer<BYTE> appointmentIdOf(IMsgStore* store, ULONG idSize, ENTRYID* id, ULONG& size) {
    ComPtr<IMAPIFolder> folder;
    ULONG type = 0;
    if (failed("IMsgStore::OpenEntry", store->OpenEntry(idSize, id, nullptr, openFolderFlags, &type,
                                                        folder.putAs<IUnknown>())) ||
        !folder)
        return nullptr;
    struct {
        ULONG count = 1;
        ULONG tags[1] = {PR_IPM_APPOINTMENT_ENTRYID};
    } wanted;
    ULONG count = 0;
    SPropValue* values = nullptr;
    const HRESULT result =
        folder->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values);
    MapiBuffer<SPropValue> owner(values);
    if (failed("IMAPIProp::GetProps", result) || !values || count != 1 ||
        values[0].ulPropTag != PR_IPM_APPOINTMENT_ENTRYID || values[0].Value.bin.cb == 0)
        return nullptr;
    void* copy = nullptr;
    if (failed("MAPIAllocateBuffer", MAPIAllocateBuffer(values[0].Value.bin.cb, &copy)))
        return nullptr;
    std::memcpy(copy, values[0].Value.bin.lpb, values[0].Value.bin.cb);
    size = values[0].Value.bin.cb;
    return MapiBuffer<BYTE>(static_cast<BYTE*>(copy));
}

} // namespace

MapiBuffer<BYTE> appointmentFolderId(IMsgStore* store, ULONG& size) {
    ULONG inboxSize = 0;
    MapiBuffer<ENTRYID> inbox;
    if (!FAILED(inboxEntryId(store, inboxSize, inbox)) && inbox)
        if (MapiBuffer<BYTE> id = appointmentIdOf(store, inboxSize, inbox.get(), size))
            return id;
    MapiBuffer<BYTE> id = appointmentIdOf(store, 0, nullptr, size);
    if (!id)
        traceFailure("IMAPIProp::GetProps", "no folder named Calendar, and none named by the "
                                            "Inbox or the root folder");
    return id;
}
