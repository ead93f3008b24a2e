#include "calendar_loading.h"

#include "app/app_state.h"
#include "app/failure_trace.h"
#include "app/handles.h"
#include "file_time.h"
#include "reminder_clock.h"

#include <mapidefs.h>
#include <mapitags.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr ULONG openFolderFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS;
constexpr LONG rowsPerQuery = 256;

// The property sets of the three named properties. Each id counts only in its own set: the
// same number in another set is another property.
constexpr GUID commonProperties = {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID appointmentProperties = {0x00062002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr LONG reminderTimeId = 0x8560;
constexpr LONG timeZoneId = 0x8234;
constexpr LONG locationId = 0x8208;
constexpr LONG reminderSetId = 0x8503;
constexpr LONG zoneRulesId = 0x8233;

// The store's tag for one name, with the given type; 0 when the store does not know the name.
// Never makes a name: a store that lacks one has no item that carries it.
ULONG tagOfName(IMAPIProp* folder, GUID set, LONG id, ULONG type) {
    MAPINAMEID name{};
    name.lpguid = &set;
    name.ulKind = MNID_ID;
    name.Kind.lID = id;
    MAPINAMEID* names[] = {&name};
    SPropTagArray* tags = nullptr;
    const HRESULT result = folder->GetIDsFromNames(1, names, 0, &tags);
    MapiBuffer<SPropTagArray> owner(tags);
    if (failed("IMAPIProp::GetIDsFromNames", result) || !tags || tags->cValues < 1 ||
        PROP_ID(tags->aulPropTag[0]) == PROP_ID_NULL)
        return 0;
    return CHANGE_PROP_TYPE(tags->aulPropTag[0], type);
}

// Resolves the named tags among the names the store lists. A store that will not list them
// (Exchange online refuses the call without a list) or lists them without one of ours is asked
// for that name directly. A name it does not know leaves its tag as it was, 0 before any load.
void resolveNamedTags(IMAPIFolder* folder) {
    struct Wanted {
        const GUID& set;
        LONG id;
        ULONG type;
        std::atomic<ULONG>& tag;
        bool listed;
    };
    Wanted wanted[] = {{commonProperties, reminderTimeId, PT_SYSTIME, app->reminderTimeTag, false},
                       {appointmentProperties, timeZoneId, PT_STRING8, app->timeZoneTag, false},
                       {appointmentProperties, locationId, PT_STRING8, app->locationTag, false},
                       {commonProperties, reminderSetId, PT_BOOLEAN, app->reminderSetTag, false},
                       {appointmentProperties, zoneRulesId, PT_BINARY, app->zoneRulesTag, false}};

    SPropTagArray* knownTags = nullptr; // none given: every name the store knows
    ULONG count = 0;
    MAPINAMEID** names = nullptr;
    const HRESULT result = folder->GetNamesFromIDs(&knownTags, nullptr, 0, &count, &names);
    MapiBuffer<SPropTagArray> tagsOwner(knownTags);
    MapiBuffer<MAPINAMEID*> namesOwner(names);
    if (failed("IMAPIProp::GetNamesFromIDs", result) || !names)
        count = 0;
    for (ULONG i = 0; i < count; ++i) {
        const MAPINAMEID* name = names[i];
        if (!name || name->ulKind != MNID_ID || !name->lpguid)
            continue;
        for (Wanted& w : wanted)
            if (!w.listed && name->Kind.lID == w.id && IsEqualGUID(*name->lpguid, w.set))
                if (const ULONG tag = tagOfName(folder, w.set, w.id, w.type)) {
                    w.tag = tag;
                    w.listed = true;
                }
    }
    for (Wanted& w : wanted)
        if (!w.listed)
            if (const ULONG tag = tagOfName(folder, w.set, w.id, w.type))
                w.tag = tag;
}

// A reminder table in the making; it owns its arrays until it is published in the record.
class ReminderTable {
public:
    bool allocate(ULONG capacity) {
        const size_t n = capacity ? capacity : 1;
        times.reset(new (std::nothrow) FILETIME[n]);
        fired.reset(new (std::nothrow) BYTE[n]());
        ids.reset(new (std::nothrow) BYTE*[n]());
        sizes.reset(new (std::nothrow) ULONG[n]);
        return times && fired && ids && sizes;
    }
    ~ReminderTable() {
        for (int i = 0; i < count; ++i)
            delete[] ids[i];
    }

    // Copies one row's reminder time and entry identifier; a row without either is left out, and
    // so is one whose reminder the user switched off (the flag present and false: a mail client
    // keeps the time then). An item without the flag reminds.
    bool add(const SRow& row, ULONG timeTag, ULONG setTag) {
        const SPropValue* time = nullptr;
        const SPropValue* id = nullptr;
        for (ULONG v = 0; v < row.cValues; ++v) {
            if (row.lpProps[v].ulPropTag == timeTag)
                time = &row.lpProps[v];
            else if (row.lpProps[v].ulPropTag == PR_ENTRYID)
                id = &row.lpProps[v];
            else if (setTag && row.lpProps[v].ulPropTag == setTag && !row.lpProps[v].Value.b)
                return true;
        }
        if (!time || !id)
            return true;
        const ULONG size = id->Value.bin.cb;
        BYTE* copy = new (std::nothrow) BYTE[size ? size : 1];
        if (!copy)
            return false;
        std::memcpy(copy, id->Value.bin.lpb, size);
        times[count] = time->Value.ft;
        ids[count] = copy;
        sizes[count] = size;
        ++count;
        return true;
    }

    std::unique_ptr<FILETIME[]> times;
    std::unique_ptr<BYTE[]> fired;
    std::unique_ptr<BYTE*[]> ids;
    std::unique_ptr<ULONG[]> sizes;
    int count = 0;
};

// The coming reminders of the calendar folder from `from` on, ascending. Any failure of the
// store leaves the table empty.
void readComingReminders(Ticks from, ReminderTable& table) {
    IMsgStore* store = app->store;
    ComPtr<IMAPIFolder> folder;
    ULONG type = 0;
    if (!store || app->calendarFolderIdSize == 0 ||
        failed("IMsgStore::OpenEntry",
               store->OpenEntry(app->calendarFolderIdSize,
                                reinterpret_cast<ENTRYID*>(app->calendarFolderId), nullptr,
                                openFolderFlags, &type, folder.putAs<IUnknown>())) ||
        !folder)
        return;
    ComPtr<IMAPITable> contents;
    if (failed("IMAPIContainer::GetContentsTable", folder->GetContentsTable(0, contents.put())) ||
        !contents)
        return;
    resolveNamedTags(folder.get());
    const ULONG timeTag = app->reminderTimeTag, setTag = app->reminderSetTag;
    if (PROP_ID(timeTag) == PROP_ID_NULL)
        return;

    SPropValue bound{};
    bound.ulPropTag = timeTag;
    bound.Value.ft = fileTimeOf(from);
    SRestriction coming{};
    coming.rt = RES_PROPERTY;
    coming.res.resProperty.relop = RELOP_GE;
    coming.res.resProperty.ulPropTag = timeTag;
    coming.res.resProperty.lpProp = &bound;
    SizedSSortOrderSet(1, ascending) = {1, 0, 0, {{timeTag, TABLE_SORT_ASCEND}}};
    struct {
        ULONG count;
        ULONG tags[3];
    } columns{setTag ? 3u : 2u, {timeTag, PR_ENTRYID, setTag}};
    ULONG rows = 0;
    if (failed("IMAPITable::Restrict", contents->Restrict(&coming, 0)) ||
        failed("IMAPITable::SortTable",
               contents->SortTable(reinterpret_cast<SSortOrderSet*>(&ascending), 0)) ||
        failed("IMAPITable::GetRowCount", contents->GetRowCount(0, &rows)))
        return;
    if (!table.allocate(rows)) {
        traceFailure("loadCalendar", "no memory for the reminder table");
        return;
    }
    if (rows == 0 ||
        failed("IMAPITable::SetColumns",
               contents->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0)) ||
        failed("IMAPITable::SeekRow", contents->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
        return;
    // Rows added after the count are left for the reload that their notification brings.
    for (ULONG read = 0; read < rows && !reminderStopRequested();) {
        SRowSet* batch = nullptr;
        if (failed("IMAPITable::QueryRows",
                   contents->QueryRows(std::min<LONG>(rowsPerQuery, LONG(rows - read)), 0, &batch)))
            return;
        RowSetPtr owner(batch);
        if (!batch || batch->cRows == 0)
            return;
        for (ULONG r = 0; r < batch->cRows && read < rows; ++r, ++read)
            if (!table.add(batch->aRow[r], timeTag, setTag))
                return;
    }
}

// What the present table has announced from `from` on.
AnnouncedReminders announcedSince(Ticks from) {
    AnnouncedReminders announced;
    const int count = app->reminderCount;
    for (int i = 0; i < count; ++i) {
        const Ticks time = ticksOf(app->reminderTimes.load()[i]);
        if (app->reminderFired.load()[i] && time >= from)
            announced.add(time, app->reminderEntryIds.load()[i],
                          app->reminderEntryIdSizes.load()[i]);
    }
    return announced;
}

void freeReminderTable() {
    const int count = app->reminderCount;
    BYTE** ids = app->reminderEntryIds;
    for (int i = 0; i < count; ++i)
        delete[] ids[i];
    app->reminderCount = 0;
    delete[] app->reminderTimes.exchange(nullptr);
    delete[] app->reminderFired.exchange(nullptr);
    delete[] app->reminderEntryIds.exchange(nullptr);
    delete[] app->reminderEntryIdSizes.exchange(nullptr);
}

} // namespace

int rebuildReminderTable(Ticks now) {
    // A table with entries had a clock; nothing was compared when there was none.
    const Ticks from = app->reminderCount > 0 ? std::min<Ticks>(app->reminderCompared, now) : now;

    ReminderTable table;
    readComingReminders(from, table);
    if (reminderStopRequested())
        return app->reminderCount; // what was read may be cut short: the table stays
    const AnnouncedReminders announced = announcedSince(from);
    if (!announced.empty())
        for (int i = 0; i < table.count; ++i)
            table.fired[i] =
                announced.contains(ticksOf(table.times[i]), table.ids[i], table.sizes[i]);

    freeReminderTable();
    app->reminderCompared = from;
    if (table.count == 0)
        return 0;
    app->reminderTimes = table.times.release();
    app->reminderFired = table.fired.release();
    app->reminderEntryIds = table.ids.release();
    app->reminderEntryIdSizes = table.sizes.release();
    app->reminderCount = std::exchange(table.count, 0);
    return app->reminderCount;
}

int buildReminderTable(Ticks now) {
    stopReminderClock(); // the table is never replaced under a clock that reads it
    return rebuildReminderTable(now);
}

void loadCalendar() {
    startReminderClock();
}
