// Measures the kit's calendar folder alone, through mapi32, with the calls a reminder program
// makes to read its coming reminders: GetContentsTable, Restrict on the reminder time
// (RELOP_GE), SortTable on it, then QueryRows of the coming rows in batches. Each call is timed
// apart, for the first read of a calendar (every file parsed), a read with nothing changed and
// a read after one appointment changed, at several calendar sizes with a tenth of the items
// coming. Twice: with the folder advised, as a reminder program has it, each read after one
// change made once its notification has come; and with no advise.
// Prints its figures; run through scripts/bench.sh calendar-store.
//   calendar_store_bench [largest calendar (10000)]
#include "bench_support.h"
#include "calendar_items.h"
#include "hostile_text.h"
#include "mapi_test_support.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using namespace kit;

namespace {

using bench::CountingSink;
using bench::milliseconds;
using bench::pumpUntil;
using bench::timed;

constexpr std::int64_t minute = 60;
constexpr GUID commonSet = {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr LONG rowsPerQuery = 256;
const std::string calendarPath = "IPM_SUBTREE/Calendar";

FILETIME fileTime(std::int64_t unix) {
    const ULONGLONG ticks = ULONGLONG(unix + 11644473600LL) * 10000000ULL;
    return {DWORD(ticks), DWORD(ticks >> 32)};
}

// The cost of each call of one read of the coming reminders.
struct Read {
    double contents = 0, restrict = 0, sort = 0, rows = 0;
    ULONG coming = 0;
    double total() const { return contents + restrict + sort + rows; }
};

class CalendarStore {
public:
    CalendarStore() { logOnAgain(); }

    void logOnAgain() {
        folder.reset();
        fixture.logoff();
        advised = false;
        if (fixture.logon() != S_OK)
            throw std::runtime_error("no logon");
        folder = fixture.openFolder(fixture.folderId(calendarPath));
        MAPINAMEID name{const_cast<GUID*>(&commonSet), MNID_ID, {0x8560}};
        MAPINAMEID* names[] = {&name};
        SPropTagArray* tags = nullptr;
        if (!folder || FAILED(folder->GetIDsFromNames(1, names, 0, &tags)) || !tags)
            throw std::runtime_error("no calendar");
        reminderTag = PROP_TAG(PT_SYSTIME, PROP_ID(tags->aulPropTag[0]));
        MAPIFreeBuffer(tags);
    }

    // Appointment `number` of a calendar whose alarms are a minute apart from `first`.
    void put(int number, std::int64_t first, const std::string& location) {
        std::string error;
        const auto text =
            devkit::composeAppointment({.summary = "Meeting " + std::to_string(number),
                                        .location = location,
                                        .start = first + number * minute + 15 * minute,
                                        .minutes = 30,
                                        .zone = "Europe/Berlin",
                                        .alarmMinutesBefore = 15,
                                        .rule = {}},
                                       error);
        fixture.files().putCalendarFile(calendarPath, text.value_or(""),
                                        "item" + std::to_string(number));
    }

    void advise() {
        const Bytes id = fixture.folderId(calendarPath);
        ULONG connection = 0;
        if (FAILED(fixture.store()->Advise(ULONG(id.size()),
                                           reinterpret_cast<ENTRYID*>(const_cast<BYTE*>(id.data())),
                                           fnevObjectModified, &sink, &connection)))
            throw std::runtime_error("no advise");
        advised = true;
    }

    // Changes appointment `number`; when advised, waits for its notification, as a program
    // reads the calendar again once it is told of a change.
    void change(int number, std::int64_t first, const std::string& location) {
        const ULONG before = sink.received;
        put(number, first, location);
        if (advised && !pumpUntil([&] { return sink.received > before; }, 10000))
            std::printf("    (no notification of the change)\n");
    }

    Read read(std::int64_t from) {
        Read read;
        Ref<IMAPITable> table;
        read.contents = timed([&] { folder->GetContentsTable(0, table.put()); });
        SPropValue bound{};
        bound.ulPropTag = reminderTag;
        bound.Value.ft = fileTime(from);
        SRestriction coming{};
        coming.rt = RES_PROPERTY;
        coming.res.resProperty = {RELOP_GE, reminderTag, &bound};
        read.restrict = timed([&] { table->Restrict(&coming, 0); });
        SizedSSortOrderSet(1, order) = {1, 0, 0, {{reminderTag, TABLE_SORT_ASCEND}}};
        read.sort = timed([&] {
            table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0);
            table->GetRowCount(0, &read.coming);
        });
        read.rows = timed([&] {
            SizedSPropTagArray(2, columns) = {2, {reminderTag, PR_ENTRYID}};
            table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0);
            table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
            for (ULONG done = 0; done < read.coming;) {
                SRowSet* rows = nullptr;
                if (FAILED(table->QueryRows(rowsPerQuery, 0, &rows)) || !rows)
                    break;
                const ULONG count = rows->cRows;
                for (ULONG r = 0; r < count; ++r)
                    MAPIFreeBuffer(rows->aRow[r].lpProps);
                MAPIFreeBuffer(rows);
                if (count == 0)
                    break;
                done += count;
            }
        });
        return read;
    }

    StoreFixture fixture;
    Ref<IMAPIFolder> folder;
    ULONG reminderTag = 0;
    CountingSink sink;
    bool advised = false;
};

void print(const char* what, const Read& read) {
    std::printf("    %-26s %8.1f ms  (contents table %.1f, Restrict %.1f, SortTable %.1f, "
                "QueryRows %.1f) %lu rows\n",
                what, read.total(), read.contents, read.restrict, read.sort, read.rows,
                static_cast<unsigned long>(read.coming));
}

} // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 10000;
    // Every alarm lies ahead; the reads are made at a moment after all but a tenth of them.
    const std::int64_t first = (std::int64_t(std::time(nullptr)) / 86400 + 2) * 86400;
    std::printf("the kit's calendar folder alone (GetContentsTable, Restrict, SortTable, "
                "QueryRows), a tenth of the items coming:\n");
    for (int size : {largest / 50, largest / 5, largest}) {
        if (size < 10)
            continue;
        CalendarStore calendar;
        const double writing = timed([&] {
            for (int i = 0; i < size; ++i)
                calendar.put(i, first, "Room 4");
        });
        const std::int64_t from = first + std::int64_t(size - size / 10) * minute;
        std::printf("  %d appointments (%.0f ms to write them):\n", size, writing);
        for (bool advised : {true, false}) {
            std::printf("   %s:\n", advised ? "advised, as a reminder program has it"
                                            : "not advised (the directory listed at each read)");
            double advising = 0;
            if (advised)
                advising = timed([&] { calendar.advise(); });
            const Read firstRead = calendar.read(from);
            if (advised)
                std::printf("    Advise (every file read)   %8.1f ms\n", advising);
            print(advised ? "first read" : "first read", firstRead);
            print("nothing changed", calendar.read(from));
            std::vector<Read> changed;
            for (int round = 0; round < 5; ++round) {
                calendar.change(size - 1 - round, first,
                                "Room " + std::to_string(100 + round + (advised ? 0 : 10)));
                changed.push_back(calendar.read(from));
            }
            std::sort(changed.begin(), changed.end(),
                      [](const Read& a, const Read& b) { return a.total() < b.total(); });
            print("one changed (median of 5)", changed[changed.size() / 2]);
            if (advised) // the next round from scratch: nothing read, nothing watched
                calendar.logOnAgain();
        }
    }

    // Items that ask for unbounded work: each indexed alone, then changed in a calendar of
    // 1,000 good ones that a reminder program has advised and reads again once it is told.
    namespace hostile = devkit::ical::hostile;
    const std::string start = devkit::stamp(first + 3600);
    std::vector<std::pair<std::string, std::string>> shapes = {
        {"VTIMEZONE of 100 observances", hostile::zoneOfManyObservances(start)},
        {"50 alarms x 1,000 repeats", hostile::manyRepeatedAlarms(start)},
        {"200 alarms x 1,000 repeats", hostile::manyRepeatedAlarms(start, 200)},
        {"FREQ=SECONDLY;COUNT=10^9", hostile::everySecond(start, true)},
        {"FREQ=SECONDLY;UNTIL=9999", hostile::everySecond(start, false)},
    };
    for (auto& item : hostile::megabyteItems(start))
        shapes.push_back({"1 MB: " + item.first, std::move(item.second)});
    std::printf("hostile items: indexing each alone (target 20 ms); changed among 1,000 good ones, "
                "advised: its notification, then one read of the coming reminders (target "
                "100 ms beyond the 0.1 s of quiet):\n");
    CalendarStore calendar;
    for (int i = 0; i < 1000; ++i)
        calendar.put(i, first, "Room 4");
    // The item each shape is written over, so that each is a change told of.
    calendar.fixture.files().putCalendarFile(calendarPath, hostile::manyRepeatedAlarms(start, 1),
                                             "hostile");
    calendar.advise();
    const std::int64_t from = first + 900 * minute;
    calendar.read(from);
    double worst = 0;
    std::string worstShape;
    for (const auto& [what, text] : shapes) {
        // Read as the store reads it: through its checked reading, parsed, the reminder found
        // (the median of three, each into an empty cache).
        const std::string name = calendar.fixture.files().putCalendarFile(calendarPath, text, "");
        const auto file = calendar.fixture.files().findCalendarFile(calendarPath, name).value();
        bool past = false, served = false;
        std::vector<double> times;
        for (int round = 0; round < 3; ++round) {
            devkit::CalendarItems alone;
            alone.readThrough(&calendar.fixture.files());
            times.push_back(timed([&] {
                const devkit::CalendarItem item = alone.load(file, first);
                past = item.pastLimits;
                served = item.appointment != nullptr;
            }));
        }
        std::sort(times.begin(), times.end());
        const double indexing = times[1];
        if (text.size() <= 1024 * 1024 && indexing > worst) {
            worst = indexing;
            worstShape = what;
        }
        calendar.fixture.files().deleteCalendarFile(calendarPath, name);
        const ULONG before = calendar.sink.received;
        double noticed = 0;
        noticed = timed([&] {
            calendar.fixture.files().putCalendarFile(calendarPath, text, "hostile");
            pumpUntil([&] { return calendar.sink.received > before; }, 60000);
        });
        const Read read = calendar.read(from);
        std::printf("  %-40s %7zu bytes: indexing %6.1f ms%s; change told after %7.1f ms, "
                    "read %6.1f ms\n",
                    what.c_str(), text.size(), indexing,
                    !served ? " (refused)"
                    : past  ? " (past a bound)"
                            : "",
                    noticed, read.total());
    }
    std::printf("the worst item of at most 1 MB: indexing %.1f ms (target 20 ms), %s\n", worst,
                worstShape.c_str());
    return 0;
}
