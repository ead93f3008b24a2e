// Measures calendar loading and the reminder clock in process on a kit store:
//   load      a calendar of 10,000 appointments, 1,000 of them coming: the first load, a
//             reload after one appointment changed, and the reload at other calendar sizes.
//             The calendar folder is advised, as the program has it with reminders on, and
//             each reload after a change is made once its notification has come, as the
//             program's reload is.
//   reloads   1,000 reloads, each stopping a clock and starting one: threads, memory
//   idle      CPU time of the clock's passes while nothing is due
// Prints its figures; run through scripts/bench.sh calendar.
//   calendar_bench [items (10000)] [coming (1000)] [reloads (1000)] [idle seconds (60)]
#include "bench_support.h"
#include "app/app_state.h"
#include "calendar/calendar_loading.h"
#include "calendar/reminder_clock.h"
#include "mail_fixture.h"
#include "wine_test.h"

#include <mapix.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using bench::CountingSink;
using bench::milliseconds;
using bench::threadCount;
using bench::timed;

constexpr std::int64_t minute = 60;

Ticks ticksAt(std::int64_t unix) {
    return Ticks(unix + 11644473600LL) * ticksPerSecond;
}

size_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PagefileUsage;
}

double cpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](FILETIME t) {
        return double(ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

class Calendar {
public:
    Calendar() {
        if (kit.start() != 1)
            throw std::runtime_error("no mail session");
        const devkit::Bytes folder = kit.store.calendarId();
        app->calendarFolderId = new BYTE[folder.size()];
        std::copy(folder.begin(), folder.end(), app->calendarFolderId);
        app->calendarFolderIdSize = uint32_t(folder.size());
    }
    ~Calendar() {
        stopReminderClock();
        if (connection)
            app->store.load()->Unadvise(connection);
    }

    // Advises on the calendar folder, as the program does with reminders on; its time.
    double advise() {
        return timed([&] {
            if (FAILED(app->store.load()->Advise(
                    app->calendarFolderIdSize, reinterpret_cast<ENTRYID*>(app->calendarFolderId),
                    fnevObjectCreated | fnevObjectModified, &sink, &connection)))
                throw std::runtime_error("no advise");
        });
    }
    // Changes appointment `number` and waits for the store to tell of it.
    void change(int number, std::int64_t reminder, const std::string& location) {
        const ULONG before = sink.received;
        add(number, reminder, location);
        if (!wt::pumpUntil([&] { return sink.received > before; }, 10000))
            std::printf("  (no notification of the change)\n");
    }

    // `count` appointments a minute apart from `first`, reminding 15 minutes before they start.
    void fill(int count, std::int64_t first) {
        for (int i = 0; i < count; ++i)
            add(i, first + i * minute, "Room 4");
    }
    void add(int number, std::int64_t reminder, const std::string& location) {
        kit.store.addAppointment({.summary = "Meeting " + std::to_string(number),
                                  .location = location,
                                  .start = reminder + 15 * minute,
                                  .minutes = 30,
                                  .zone = "Europe/Berlin",
                                  .alarmMinutesBefore = 15,
                                  .rule = {}},
                                 "item" + std::to_string(number));
    }

    wt::MailFixture kit;
    CountingSink sink;
    ULONG connection = 0;
};

} // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int coming = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int reloads = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 60;
    // Every alarm lies in the store's future; the loads are made at a moment after all but
    // `coming` of them.
    const std::int64_t first = (std::int64_t(std::time(nullptr)) / 86400 + 2) * 86400;
    const auto loadMoment = [&](int size, int ahead) {
        return ticksAt(first + std::int64_t(size - ahead) * minute);
    };

    std::printf("calendar of %d appointments, %d coming:\n", items, coming);
    {
        Calendar calendar;
        const double filling = timed([&] { calendar.fill(items, first); });
        std::printf("  writing the .ics files: %.0f ms\n", filling);
        const double advising = calendar.advise();
        int rows = 0;
        const double cold = timed([&] { rows = buildReminderTable(loadMoment(items, coming)); });
        std::printf("  first load at start-up: %.1f ms (Advise on the calendar, every file read: "
                    "%.1f ms; then the load: %.1f ms), %d reminders\n",
                    advising + cold, advising, cold, rows);
        const double warm = timed([&] { rows = buildReminderTable(loadMoment(items, coming)); });
        std::printf("  reload, nothing changed: %.1f ms\n", warm);
        std::vector<double> changed;
        for (int round = 0; round < 5; ++round) {
            calendar.change(items - 1 - round, first + std::int64_t(items - 1 - round) * minute,
                            "Room " + std::to_string(100 + round));
            changed.push_back(timed([&] { rows = buildReminderTable(loadMoment(items, coming)); }));
        }
        std::sort(changed.begin(), changed.end());
        std::printf("  reload after one appointment changed: median %.1f ms, worst %.1f ms "
                    "(5 changes), %d reminders\n",
                    changed[changed.size() / 2], changed.back(), rows);
    }

    std::printf("reload after one change, by calendar size (a tenth coming):\n");
    for (int size : {1000, 2500, 5000, 10000}) {
        if (size > items)
            break;
        Calendar calendar;
        calendar.fill(size, first);
        calendar.advise();
        buildReminderTable(loadMoment(size, size / 10));
        std::vector<double> changed;
        for (int round = 0; round < 5; ++round) {
            calendar.change(size - 1, first + std::int64_t(size - 1) * minute,
                            "Room " + std::to_string(10 + round));
            changed.push_back(timed([&] { buildReminderTable(loadMoment(size, size / 10)); }));
        }
        std::sort(changed.begin(), changed.end());
        std::printf("  %5d appointments: median %.1f ms\n", size, changed[changed.size() / 2]);
    }

    {
        Calendar calendar;
        calendar.fill(20, first);
        calendar.advise();
        loadCalendar();
        const int threads = threadCount();
        const size_t memory = privateBytes();
        const double spent = timed([&] {
            for (int i = 0; i < reloads; ++i)
                loadCalendar(); // stops the clock, rebuilds the table, starts a clock
        });
        std::printf("%d reloads (each stopping a clock and starting one): %.2f ms each; "
                    "threads %d -> %d, private memory %+ld KB\n",
                    reloads, spent / reloads, threads, threadCount(),
                    long(privateBytes() - memory) / 1024);

        const double before = cpuMilliseconds();
        Sleep(DWORD(idleSeconds) * 1000);
        const double cpu = cpuMilliseconds() - before;
        std::printf("idle %d s with a clock over 20 reminders (%d passes): CPU %.1f ms, "
                    "%.2f ms a pass\n",
                    idleSeconds, idleSeconds / 20, cpu, cpu / std::max(1, idleSeconds / 20));
    }
    return 0;
}
