#include "forced_delivery.h"

#include "app/app_state.h"
#include "app/handles.h"
#include "app/mapi_thread.h"

#include <mapicode.h>
#include <mapidefs.h>
#include <mapitags.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint64_t unitMs = 6000;
constexpr uint64_t longestSleepMs = INFINITE - 1;
// Both directions, at once, without user interface.
constexpr ULONG flushFlags = FLUSH_UPLOAD | FLUSH_DOWNLOAD | FLUSH_FORCE | FLUSH_NO_UI; // 0x1E

struct StatusColumns {
    ULONG count = 2;
    ULONG tags[2] = {PR_ENTRYID, PR_RESOURCE_TYPE};
    SPropTagArray* get() { return reinterpret_cast<SPropTagArray*>(this); }
};

// A row of the spooler or a transport, read only when it carries the two columns asked for:
// a table that ignored SetColumns must not have another property taken for an identifier.
const SBinary* flushableEntryId(const SRow& row) {
    if (row.cValues < 2 || row.lpProps[0].ulPropTag != PR_ENTRYID ||
        row.lpProps[1].ulPropTag != PR_RESOURCE_TYPE)
        return nullptr;
    const LONG type = row.lpProps[1].Value.l;
    if (type != MAPI_TRANSPORT_PROVIDER && type != MAPI_SPOOLER)
        return nullptr;
    return &row.lpProps[0].Value.bin;
}

void flush(IMAPISession* session, const SBinary& id) {
    ComPtr<IMAPIStatus> status;
    ULONG type = 0;
    // A row whose object cannot be opened is skipped without a word; so is one that opens as
    // anything but a status object, whose methods are not FlushQueues.
    if (session->OpenEntry(id.cb, reinterpret_cast<ENTRYID*>(id.lpb), nullptr, MAPI_MODIFY, &type,
                           status.putAs<IUnknown>()) != S_OK ||
        !status || type != MAPI_STATUS)
        return;
    if (status->FlushQueues(0, 0, nullptr, flushFlags) != S_OK)
        OutputDebugStringA("error flush\n");
}

// Set to have the thread make its pass now (after the computer resumed); auto-reset, made on
// first use, kept for the process.
HANDLE wakeEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

} // namespace

void wakeForcedDelivery() {
    if (HANDLE event = wakeEvent())
        SetEvent(event);
}

DWORD forcedDeliveryInterval() {
    uint32_t expected = 0;
    app->msMailServerTime.compare_exchange_strong(expected, 1); // only from 0 to 1
    return DWORD(std::min(uint64_t(app->msMailServerTime.load()) * unitMs, longestSleepMs));
}

void forceDelivery() {
    IMAPISession* session = app->session;
    if (!session)
        return;
    ComPtr<IMAPITable> table;
    session->GetStatusTable(0, table.put());
    if (!table)
        return;
    // The results are not examined: a failed call leaves no rows, and rows without the two
    // columns are passed over.
    ULONG count = 0;
    table->GetRowCount(0, &count);
    StatusColumns columns;
    table->SetColumns(columns.get(), 0);
    SRowSet* queried = nullptr;
    table->QueryRows(LONG(count), 0, &queried);
    const RowSetPtr rows(queried);
    for (ULONG i = 0; rows && i < rows->cRows; ++i)
        if (const SBinary* id = flushableEntryId(rows->aRow[i]))
            flush(session, *id);
}

DWORD WINAPI forcedDeliveryThread(LPVOID) {
    const MapiThread mapi; // the thread runs until the process ends
    if (!mapi.ready())
        return 0;
    // The first pass comes one interval after the start. The session is used without a
    // reference of its own: it lives as long as the process.
    for (;;) {
        if (HANDLE wake = wakeEvent())
            WaitForSingleObject(wake, forcedDeliveryInterval());
        else
            Sleep(forcedDeliveryInterval());
        forceDelivery();
    }
}

void startForcedDelivery() {
    UniqueHandle thread(CreateThread(nullptr, 0, forcedDeliveryThread, nullptr, 0, nullptr));
}
