// The store's Calendar folder through mapi32, used the way a reminder program uses it.
#include "calendar_items.h"
#include "mapi_test_support.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>

using namespace kit;

namespace {

constexpr GUID commonSet = {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID appointmentSet = {0x00062002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID publicStrings = {0x00020329, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr ULONG allEvents = 0x7E;

ENTRYID* entry(const Bytes& id) {
    return reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data()));
}

FILETIME fileTime(std::int64_t unix) {
    const ULONGLONG ticks = ULONGLONG(unix + 11644473600LL) * 10000000ULL;
    return {DWORD(ticks), DWORD(ticks >> 32)};
}

std::int64_t unixTime(const FILETIME& time) {
    return std::int64_t((ULONGLONG(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000000ULL) -
           11644473600LL;
}

class Calendar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(fixture.logon(), S_OK);
        folder = fixture.openFolder(fixture.folderId(calendarPath));
        ASSERT_TRUE(folder);
    }
    void TearDown() override { fixture.logoff(); }

    // An appointment starting `minutes` from now, reminding `alarm` minutes before.
    std::string add(const std::string& name, const std::string& summary, std::int64_t minutes,
                    std::optional<std::int64_t> alarm, const std::string& zone = "UTC",
                    const std::string& location = {}) {
        std::string error;
        const auto text = devkit::composeAppointment({.summary = summary,
                                                      .location = location,
                                                      .start = now + minutes * 60,
                                                      .zone = zone,
                                                      .alarmMinutesBefore = alarm,
                                                      .rule = {}},
                                                     error);
        EXPECT_TRUE(text) << error;
        return fixture.files().putCalendarFile(calendarPath, text.value_or(""), name);
    }

    // The store's tag of a named property with a numeric name, the way a program finds it.
    ULONG tagOf(const GUID& set, LONG id, ULONG type) {
        MAPINAMEID name{const_cast<GUID*>(&set), MNID_ID, {id}};
        MAPINAMEID* names[] = {&name};
        SPropTagArray* tags = nullptr;
        EXPECT_EQ(folder->GetIDsFromNames(1, names, 0, &tags), S_OK);
        const ULONG tag = tags ? PROP_TAG(type, PROP_ID(tags->aulPropTag[0])) : 0;
        MAPIFreeBuffer(tags);
        return tag;
    }

    // The table's rows of two columns after the program's Restrict and SortTable.
    std::vector<std::pair<std::int64_t, Bytes>> comingReminders(std::int64_t from) {
        const ULONG reminderTag = tagOf(commonSet, 0x8560, PT_SYSTIME);
        Ref<IMAPITable> table;
        EXPECT_EQ(folder->GetContentsTable(0, table.put()), S_OK);
        SPropValue value{};
        value.ulPropTag = reminderTag;
        value.Value.ft = fileTime(from);
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_GE, reminderTag, &value};
        EXPECT_EQ(table->Restrict(&restriction, 0), S_OK);
        SizedSSortOrderSet(1, order) = {1, 0, 0, {{reminderTag, TABLE_SORT_ASCEND}}};
        EXPECT_EQ(table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0), S_OK);
        ULONG count = 0;
        EXPECT_EQ(table->GetRowCount(0, &count), S_OK);
        std::vector<std::pair<std::int64_t, Bytes>> rows;
        for (ULONG i = 0; i < count; ++i) {
            EXPECT_EQ(table->SeekRow(BOOKMARK_BEGINNING, LONG(i), nullptr), S_OK);
            SizedSPropTagArray(2, columns) = {2, {reminderTag, PR_ENTRYID}};
            EXPECT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
            SRowSet* row = nullptr;
            EXPECT_EQ(table->QueryRows(1, 0, &row), S_OK);
            if (!row || row->cRows != 1)
                break;
            rows.emplace_back(unixTime(row->aRow[0].lpProps[0].Value.ft),
                              bytesOf(row->aRow[0].lpProps[1].Value.bin));
            MAPIFreeBuffer(row->aRow[0].lpProps);
            MAPIFreeBuffer(row);
        }
        return rows;
    }

    // The subjects and locations of the table's rows: those whose subject is not `excluded`,
    // by subject descending.
    std::vector<std::pair<std::string, std::string>> describedRows(const char* excluded = "") {
        const ULONG locationTag = tagOf(appointmentSet, 0x8208, PT_STRING8);
        Ref<IMAPITable> table;
        EXPECT_EQ(folder->GetContentsTable(0, table.put()), S_OK);
        SPropValue value{};
        value.ulPropTag = PR_SUBJECT_A;
        value.Value.lpszA = const_cast<char*>(excluded);
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_NE, PR_SUBJECT_A, &value};
        EXPECT_EQ(table->Restrict(&restriction, 0), S_OK);
        SizedSSortOrderSet(1, order) = {1, 0, 0, {{PR_SUBJECT_A, TABLE_SORT_DESCEND}}};
        EXPECT_EQ(table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_SUBJECT_A, locationTag}};
        EXPECT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
        SRowSet* rows = nullptr;
        EXPECT_EQ(table->QueryRows(100, 0, &rows), S_OK);
        std::vector<std::pair<std::string, std::string>> described;
        for (ULONG i = 0; rows && i < rows->cRows; ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            described.emplace_back(values[0].Value.lpszA, PROP_TYPE(values[1].ulPropTag) == PT_ERROR
                                                              ? "-"
                                                              : values[1].Value.lpszA);
            MAPIFreeBuffer(rows->aRow[i].lpProps);
        }
        MAPIFreeBuffer(rows);
        return described;
    }

    StoreFixture fixture;
    const std::string calendarPath = "IPM_SUBTREE/Calendar";
    Ref<IMAPIFolder> folder;
    const std::int64_t now = std::int64_t(std::time(nullptr)) / 60 * 60;
};

TEST_F(Calendar, IsATopLevelFolderOfTheIpmSubtree) {
    Ref<IMAPIFolder> subtree = fixture.openFolder(fixture.folderId("IPM_SUBTREE"));
    ASSERT_TRUE(subtree);
    Ref<IMAPITable> table;
    ASSERT_EQ(subtree->GetHierarchyTable(MAPI_DEFERRED_ERRORS, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
    SRowSet* rows = nullptr;
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    bool found = false;
    for (ULONG i = 0; i < rows->cRows; ++i)
        if (std::string(rows->aRow[i].lpProps[1].Value.lpszA) == "Calendar") {
            found = true;
            EXPECT_EQ(bytesOf(rows->aRow[i].lpProps[0].Value.bin), fixture.folderId(calendarPath));
        }
    for (ULONG i = 0; i < rows->cRows; ++i)
        MAPIFreeBuffer(rows->aRow[i].lpProps);
    MAPIFreeBuffer(rows);
    EXPECT_TRUE(found);
}

TEST_F(Calendar, NamedPropertiesHaveStableTagsOfTheirOwnSet) {
    // A null list asks for every name; the same numbers occur in other sets.
    SPropTagArray* tags = nullptr;
    ULONG count = 0;
    MAPINAMEID** names = nullptr;
    ASSERT_EQ(folder->GetNamesFromIDs(&tags, nullptr, 0, &count, &names), S_OK);
    ASSERT_TRUE(tags);
    ASSERT_EQ(tags->cValues, count);
    int reminders = 0, strings = 0;
    for (ULONG i = 0; i < count; ++i) {
        if (names[i]->ulKind == MNID_STRING) {
            ++strings;
            EXPECT_EQ(std::wstring(names[i]->Kind.lpwstrName), L"Keywords");
            EXPECT_TRUE(IsEqualGUID(*names[i]->lpguid, publicStrings));
        } else if (names[i]->Kind.lID == 0x8560) {
            ++reminders;
        }
    }
    EXPECT_EQ(reminders, 2) << "0x8560 in PSETID_Common and in another set";
    EXPECT_EQ(strings, 1);
    MAPIFreeBuffer(names);
    MAPIFreeBuffer(tags);

    const ULONG reminder = tagOf(commonSet, 0x8560, PT_SYSTIME);
    const ULONG location = tagOf(appointmentSet, 0x8208, PT_STRING8);
    EXPECT_GE(PROP_ID(reminder), 0x8000u);
    EXPECT_NE(PROP_ID(reminder), PROP_ID(location));

    // Unknown names: an error value, unless created; a created one keeps its tag.
    MAPINAMEID unknown{const_cast<GUID*>(&appointmentSet), MNID_ID, {0x7777}};
    MAPINAMEID* wanted[] = {&unknown};
    ASSERT_EQ(folder->GetIDsFromNames(1, wanted, 0, &tags), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(PROP_TYPE(tags->aulPropTag[0]), ULONG(PT_ERROR));
    MAPIFreeBuffer(tags);
    ASSERT_EQ(folder->GetIDsFromNames(1, wanted, MAPI_CREATE, &tags), S_OK);
    const ULONG created = tags->aulPropTag[0];
    MAPIFreeBuffer(tags);
    folder.reset();
    fixture.logoff();
    ASSERT_EQ(fixture.logon(), S_OK);
    folder = fixture.openFolder(fixture.folderId(calendarPath));
    EXPECT_EQ(tagOf(commonSet, 0x8560, PT_SYSTIME), reminder);
    ASSERT_EQ(folder->GetIDsFromNames(1, wanted, 0, &tags), S_OK);
    EXPECT_EQ(tags->aulPropTag[0], created);
    MAPIFreeBuffer(tags);
}

TEST_F(Calendar, ComingRemindersAreRestrictedAndSortedAsAProgramAsksForThem) {
    add("later", "Later", 120, 15);
    add("sooner", "Sooner", 60, 10, "Europe/Berlin", "Room 4");
    add("silent", "No alarm", 30, std::nullopt);
    add("passed", "Passed", -60, 15);
    std::ofstream(fixture.files().directory(calendarPath) / "broken.ics") << "BEGIN:VCALENDAR\r\n";

    const auto rows = comingReminders(now);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, now + 50 * 60);
    EXPECT_EQ(rows[0].second, fixture.messageId(calendarPath, "sooner"));
    EXPECT_EQ(rows[1].first, now + 105 * 60);
    // At or after: the exact moment is in, a second later out.
    EXPECT_EQ(comingReminders(now + 50 * 60).size(), 2u);
    EXPECT_EQ(comingReminders(now + 50 * 60 + 1).size(), 1u);

    // The item as the reminder clock reads it, 8-bit texts.
    Ref<IMessage> item = fixture.openMessage(rows[0].second);
    ASSERT_TRUE(item);
    SizedSPropTagArray(4, wanted) = {4,
                                     {PR_SUBJECT_A, tagOf(commonSet, 0x8560, PT_SYSTIME),
                                      tagOf(appointmentSet, 0x8234, PT_STRING8),
                                      tagOf(appointmentSet, 0x8208, PT_STRING8)}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    ASSERT_EQ(item->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values), S_OK);
    EXPECT_STREQ(values[0].Value.lpszA, "Sooner");
    EXPECT_EQ(unixTime(values[1].Value.ft), now + 50 * 60);
    EXPECT_STREQ(values[2].Value.lpszA,
                 "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
    EXPECT_STREQ(values[3].Value.lpszA, "Room 4");
    MAPIFreeBuffer(values);

    // Without a location or a zone of its own, those values are missing.
    Ref<IMessage> plain = fixture.openMessage(rows[1].second);
    ASSERT_EQ(plain->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values),
              MAPI_W_ERRORS_RETURNED);
    EXPECT_STREQ(values[2].Value.lpszA, "(UTC) Coordinated Universal Time");
    EXPECT_EQ(PROP_TYPE(values[3].ulPropTag), ULONG(PT_ERROR));
    MAPIFreeBuffer(values);

    // Gone from the disk: no longer opened.
    // Gone from the disk: not opened; with deferred errors opened, as real stores do, and the
    // first read fails.
    fixture.files().deleteCalendarFile(calendarPath, "sooner");
    ULONG type = 0;
    Ref<IMessage> gone;
    const ULONG size = ULONG(rows[0].second.size());
    EXPECT_EQ(fixture.store()->OpenEntry(size, entry(rows[0].second), nullptr, MAPI_MODIFY, &type,
                                         gone.putAs<IUnknown>()),
              MAPI_E_NOT_FOUND);
    ASSERT_EQ(fixture.store()->OpenEntry(size, entry(rows[0].second), nullptr,
                                         MAPI_MODIFY | MAPI_DEFERRED_ERRORS, &type,
                                         gone.putAs<IUnknown>()),
              S_OK);
    EXPECT_EQ(type, ULONG(MAPI_MESSAGE));
    EXPECT_EQ(gone->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values),
              MAPI_E_NOT_FOUND);
}

TEST_F(Calendar, ItemsCarryTheirZoneAsWindowsWritesIt) {
    const Bytes id =
        fixture.messageId(calendarPath, add("berlin", "Berlin", 60, 10, "Europe/Berlin"));
    Ref<IMessage> item = fixture.openMessage(id);
    ASSERT_TRUE(item);
    SizedSPropTagArray(1, wanted) = {1, {tagOf(appointmentSet, 0x8233, PT_BINARY)}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    ASSERT_EQ(item->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values), S_OK);
    const Bytes rules = bytesOf(values[0].Value.bin);
    MAPIFreeBuffer(values);
    ASSERT_EQ(rules.size(), 48u);
    // Bias -60, standard bias 0, daylight bias -60; the last Sunday of October at 03:00 and of
    // March at 02:00, yearly.
    const Bytes expected = {0xC4, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xC4, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                            10,   0,    0,    0,    5, 0, 3, 0, 0,    0,    0,    0,    0, 0, 0, 0,
                            0,    0,    3,    0,    0, 0, 5, 0, 2,    0,    0,    0,    0, 0, 0, 0};
    EXPECT_EQ(rules, expected);
}

TEST_F(Calendar, TheRootAndTheInboxNameTheCalendarFolder) {
    for (const std::string& folder : {std::string(), fixture.inbox()}) {
        Ref<IMAPIFolder> opened = fixture.openFolder(fixture.folderId(folder));
        ASSERT_TRUE(opened);
        SizedSPropTagArray(1, wanted) = {1, {PROP_TAG(PT_BINARY, 0x36D0)}};
        ULONG count = 0;
        SPropValue* values = nullptr;
        ASSERT_EQ(opened->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &values),
                  S_OK)
            << folder;
        EXPECT_EQ(bytesOf(values[0].Value.bin), fixture.folderId(calendarPath)) << folder;
        MAPIFreeBuffer(values);
    }
}

TEST_F(Calendar, AThreadThatNeverInitialisedMapiIsRefused) {
    HRESULT refused = S_OK, admitted = E_FAIL;
    std::thread([&] {
        Ref<IMessage> item;
        ULONG type = 0;
        refused = fixture.store()->OpenEntry(0, nullptr, nullptr, 0, &type, item.putAs<IUnknown>());
        // A later initialisation, even multithreaded, does not move the notifications.
        MAPIINIT_0 options{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
        if (SUCCEEDED(MAPIInitialize(&options))) {
            admitted =
                fixture.store()->OpenEntry(0, nullptr, nullptr, 0, &type, item.putAs<IUnknown>());
            item.reset();
            MAPIUninitialize();
        }
    }).join();
    EXPECT_EQ(refused, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(admitted, S_OK);

    RecordingSink sink;
    const Bytes id = fixture.folderId(calendarPath);
    ULONG connection = 0;
    ASSERT_EQ(fixture.store()->Advise(ULONG(id.size()), entry(id), allEvents, &sink, &connection),
              S_OK);
    add("new", "New", 60, 10);
    EXPECT_TRUE(wt::pumpUntil([&] { return !sink.received.empty(); }, 5000));
    EXPECT_EQ(sink.thread, GetCurrentThreadId());
    fixture.store()->Unadvise(connection);
}

TEST_F(Calendar, RowsAreWholeWhateverTheyAreRestrictedSortedAndReadOn) {
    add("a", "Budget", 60, 10, "UTC", "Room 2");
    add("b", "Standup", 30, std::nullopt);
    add("c", "Review", 90, 15, "UTC", "Room 7");
    using Rows = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(describedRows(),
              (Rows{{"Standup", "-"}, {"Review", "Room 7"}, {"Budget", "Room 2"}}));
    EXPECT_EQ(describedRows("Review"), (Rows{{"Standup", "-"}, {"Budget", "Room 2"}}));
}

// Notifications

class CalendarNotifications : public Calendar {
protected:
    void advise(RecordingSink& sink) {
        const Bytes id = fixture.folderId(calendarPath);
        ULONG connection = 0;
        ASSERT_EQ(
            fixture.store()->Advise(ULONG(id.size()), entry(id), allEvents, &sink, &connection),
            S_OK);
    }
    // Waits for `count` notifications, then a little longer to see that no more come.
    std::vector<ULONG> events(const RecordingSink& sink, size_t count) {
        wt::pumpUntil([&] { return sink.received.size() >= count; }, 5000);
        wt::pumpFor(400);
        std::vector<ULONG> seen;
        for (const auto& received : sink.received)
            seen.push_back(received.event);
        return seen;
    }
    RecordingSink sink;
};

TEST_F(CalendarNotifications, FilesAddedChangedAndRemovedByAnyWriter) {
    add("early", "Early", 60, 10);
    advise(sink);
    add("team", "Team", 90, 15);
    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectCreated});
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "team"));
    EXPECT_EQ(sink.received[0].parent, fixture.folderId(calendarPath));
    EXPECT_EQ(sink.received[0].objectType, ULONG(MAPI_MESSAGE));
    using Rows = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(describedRows(), (Rows{{"Team", "-"}, {"Early", "-"}})) << "once told, it is there";

    // Rewritten in place, as an editor saves: one change, however many writes.
    sink.received.clear();
    std::string error;
    const std::string text = devkit::composeAppointment({.summary = "Team, moved",
                                                         .location = {},
                                                         .start = now + 3600,
                                                         .zone = "UTC",
                                                         .alarmMinutesBefore = 5,
                                                         .rule = {}},
                                                        error)
                                 .value_or("");
    {
        std::ofstream out(fixture.files().directory(calendarPath) / "early.ics",
                          std::ios::binary | std::ios::trunc);
        out << text.substr(0, 40) << std::flush;
        out << text.substr(40);
    }
    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectModified});
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "early"));
    EXPECT_EQ(describedRows(), (Rows{{"Team, moved", "-"}, {"Team", "-"}}));

    sink.received.clear();
    fixture.files().deleteCalendarFile(calendarPath, "team");
    std::ofstream(fixture.files().directory(calendarPath) / "notes.txt") << "ignored";
    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectDeleted});
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "team"));
    EXPECT_EQ(describedRows(), (Rows{{"Team, moved", "-"}}));
}

TEST_F(CalendarNotifications, AFolderRemovedAndMadeAgainIsHeardAgain) {
    add("team", "Team", 90, 15);
    advise(sink);
    // A sync tool re-creating the calendar: the folder goes, with its file, and comes back.
    const auto dir = fixture.files().directory(calendarPath);
    ASSERT_TRUE(removeTreeFromLinux(dir));
    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectDeleted});
    sink.received.clear();
    std::filesystem::create_directory(dir);
    wt::pumpFor(300);
    add("early", "Early", 60, 10);
    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectCreated});
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "early"));
    using Rows = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(describedRows(), (Rows{{"Early", "-"}}));
}

TEST_F(CalendarNotifications, ARewriteKeepingSizeAndTimeOfWritingIsSeenAndServed) {
    add("team", "Team A", 90, 15);
    advise(sink);
    ASSERT_EQ(describedRows(), (std::vector<std::pair<std::string, std::string>>{{"Team A", "-"}}));

    // The same length, written within the resolution of the file system's timestamps: here
    // the time of writing is put back as it was.
    const auto file = fixture.files().directory(calendarPath) / "team.ics";
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    text.replace(text.find("Team A"), 6, "Team B");
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME written{};
    DWORD done = 0;
    ASSERT_TRUE(GetFileTime(handle, nullptr, nullptr, &written));
    ASSERT_TRUE(WriteFile(handle, text.data(), DWORD(text.size()), &done, nullptr));
    ASSERT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
    CloseHandle(handle);

    ASSERT_EQ(events(sink, 1), std::vector<ULONG>{fnevObjectModified});
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "team"));
    EXPECT_EQ(describedRows(), (std::vector<std::pair<std::string, std::string>>{{"Team B", "-"}}));
    Ref<IMessage> item = fixture.openMessage(fixture.messageId(calendarPath, "team"));
    ASSERT_TRUE(item);
    SizedSPropTagArray(1, subject) = {1, {PR_SUBJECT_A}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    ASSERT_EQ(item->GetProps(reinterpret_cast<SPropTagArray*>(&subject), 0, &count, &values), S_OK);
    EXPECT_STREQ(values[0].Value.lpszA, "Team B");
    MAPIFreeBuffer(values);
}

// Alarms pass quickly here: an alarm stays the reminder time for a second only.
class CalendarReminders : public CalendarNotifications {
protected:
    CalendarReminders() { setSetting(L"ReminderLinger", L"1"); }
};

TEST_F(CalendarReminders, ARecurringAppointmentMovesOnToItsNextOccurrence) {
    // Alarms two seconds from now: a weekly meeting and a single appointment.
    const std::int64_t alarm = std::int64_t(std::time(nullptr)) + 2;
    std::string error;
    for (const char* rule : {"FREQ=WEEKLY", ""}) {
        const auto text = devkit::composeAppointment({.summary = rule,
                                                      .location = {},
                                                      .start = alarm + 60,
                                                      .minutes = 30,
                                                      .zone = "UTC",
                                                      .alarmMinutesBefore = 1,
                                                      .rule = rule},
                                                     error);
        fixture.files().putCalendarFile(calendarPath, text.value_or(""), *rule ? "weekly" : "once");
    }
    advise(sink);
    ASSERT_TRUE(wt::pumpUntil([&] { return !sink.received.empty(); }, 8000));
    EXPECT_GE(std::int64_t(std::time(nullptr)), alarm + 1) << "not before the alarm has passed";
    wt::pumpFor(1500);
    auto described = [&] {
        std::string text;
        for (const auto& received : sink.received)
            text += std::to_string(received.event) + " " +
                    std::string(received.id.end() - 6, received.id.end()) + "; ";
        return text;
    };
    ASSERT_EQ(sink.received.size(), 1u) << "only the recurring one moves, once: " << described();
    EXPECT_EQ(sink.received[0].event, ULONG(fnevObjectModified));
    EXPECT_EQ(sink.received[0].id, fixture.messageId(calendarPath, "weekly"));

    const auto rows = comingReminders(alarm + 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, alarm + 7 * 86400);
    EXPECT_EQ(rows[0].second, fixture.messageId(calendarPath, "weekly"));
}

TEST(CalendarFaults, TheNewMethodsFailOnRequest) {
    StoreFixture fixture("IMAPIFolder::GetNamesFromIDs#1=0x80004005;"
                         "IMAPIFolder::GetIDsFromNames#1=0x8007000E;IMAPITable::Restrict#1="
                         "0x80040117;IMAPITable::SortTable#1=0x80040117");
    ASSERT_EQ(fixture.logon(), S_OK);
    Ref<IMAPIFolder> folder = fixture.openFolder(fixture.folderId("IPM_SUBTREE/Calendar"));
    ASSERT_TRUE(folder);
    SPropTagArray* tags = nullptr;
    ULONG count = 0;
    MAPINAMEID** names = nullptr;
    EXPECT_EQ(folder->GetNamesFromIDs(&tags, nullptr, 0, &count, &names), E_FAIL);
    EXPECT_EQ(folder->GetIDsFromNames(0, nullptr, 0, &tags), E_OUTOFMEMORY);
    Ref<IMAPITable> table;
    ASSERT_EQ(folder->GetContentsTable(0, table.put()), S_OK);
    SizedSSortOrderSet(1, order) = {1, 0, 0, {{PR_SUBJECT_A, TABLE_SORT_ASCEND}}};
    EXPECT_EQ(table->Restrict(nullptr, 0), HRESULT(0x80040117));
    EXPECT_EQ(table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0), HRESULT(0x80040117));
    EXPECT_EQ(table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0), S_OK);
}

} // namespace
