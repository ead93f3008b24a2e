// Measures the real tavinel.exe on a kit store, from outside as a user would see it:
//   latency   from the rename of a mail into new/ to its subject in the window
//   10,000    mails one after another: the history, the blink threads, the memory
//   idle      CPU time over 60 s with no mail pending
// Prints its figures; run through scripts/bench.sh.
#include "bench_support.h"
#include "kit_store.h"
#include "res/resource.h"
#include "wine_test.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using bench::milliseconds;
using bench::threadCount;

// Writes the mail into tmp/ and returns the rename into new/ to be done by the caller.
std::pair<devkit::fs::path, devkit::fs::path> prepare(wt::KitStore& store, int number) {
    const std::string name =
        "bench." + std::to_string(GetTickCount64()) + "." + std::to_string(number) + ".host";
    const auto folder = store.files.directory(store.inbox);
    const auto temporary = folder / "tmp" / name;
    std::ofstream(temporary, std::ios::binary) << devkit::composeMessage(
        "Bench <bench@example.org>", "", "mail " + std::to_string(number), "body", 0);
    return {temporary, folder / "new" / name};
}

bool waitForSubject(HWND window, const std::string& subject, DWORD timeoutMs = 10000) {
    const ULONGLONG start = GetTickCount64();
    while (wt::controlText(window, IDC_SUBJECT) != subject)
        if (GetTickCount64() - start > timeoutMs)
            return false;
    return true;
}

size_t privateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PagefileUsage; // committed private memory (Wine does not fill PrivateUsage)
}

double cpuMilliseconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

} // namespace

int main(int argc, char** argv) {
    const int mails = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    wt::ConfigurationKey key;
    key.writeValid();
    wt::KitStore store;
    wt::Process program(wt::tavinelExe());
    HWND window = wt::waitForProgramReady(program);
    if (!window) {
        std::printf("tavinel.exe did not start\n");
        return 1;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.id());
    int failures = 0;

    // Latency: 200 mails, each timed from its rename to its subject on screen.
    std::vector<double> latencies;
    for (int i = 1; i <= 200; ++i) {
        auto [temporary, delivered] = prepare(store, i);
        LARGE_INTEGER start, shown;
        QueryPerformanceCounter(&start);
        devkit::fs::rename(temporary, delivered);
        if (!waitForSubject(window, "mail " + std::to_string(i))) {
            std::printf("mail %d never showed\n", i);
            return 1;
        }
        QueryPerformanceCounter(&shown);
        latencies.push_back(milliseconds(start, shown));
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[latencies.size() * 99 / 100];
    std::printf("latency over %zu mails: median %.2f ms, 99th percentile %.2f ms, max %.2f ms "
                "(targets 20 and 100)\n",
                latencies.size(), median, p99, latencies.back());
    failures += median > 20 || p99 > 100;

    // Many mails one after another.
    const int baselineThreads = threadCount(program.id()); // one blink thread runs by now
    int mostThreads = baselineThreads;
    size_t afterTwentieth = 0;
    for (int i = 201; i <= 200 + mails; ++i) {
        auto [temporary, delivered] = prepare(store, i);
        devkit::fs::rename(temporary, delivered);
        if (!waitForSubject(window, "mail " + std::to_string(i))) {
            DWORD_PTR answer = 0;
            const bool responds =
                SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
            std::printf("mail %d never showed; the window shows \"%s\", the history \"%s\"; "
                        "the program %s, %s; %s\n",
                        i, wt::controlText(window, IDC_SUBJECT).c_str(),
                        wt::listViewText(GetDlgItem(window, IDC_HISTORY), 0, 1).c_str(),
                        program.running() ? "runs" : "has ended",
                        responds ? "answers" : "does not answer",
                        devkit::fs::exists(delivered) ? "the file is there" : "the file is gone");
            return 1;
        }
        if (i % 100 == 0)
            mostThreads = std::max(mostThreads, threadCount(program.id()));
        if (i == 220)
            afterTwentieth = privateBytes(process);
    }
    const size_t afterLast = privateBytes(process);
    HWND history = GetDlgItem(window, IDC_HISTORY);
    bool inOrder = wt::listViewCount(history) == 20;
    for (int line = 0; line < 20 && inOrder; ++line)
        inOrder =
            wt::listViewText(history, line, 1) == "mail " + std::to_string(200 + mails - line);
    const double growth = (double(afterLast) - double(afterTwentieth)) / 1024.0;
    std::printf("%d mails: history %s; threads %d at most (%d with one blink thread); "
                "committed memory %.0f KB after the 20th, %.0f KB after the last: %+.0f KB "
                "(target within 1024)\n",
                mails, inOrder ? "holds the newest 20 in order" : "WRONG", mostThreads,
                baselineThreads, afterTwentieth / 1024.0, afterLast / 1024.0, growth);
    failures += !inOrder || mostThreads > baselineThreads || growth > 1024;

    // Idle: close the window so nothing is pending, let the blink thread end, then watch.
    PostMessageA(window, WM_COMMAND, ID_CLOSE, 0);
    Sleep(1500);
    const double before = cpuMilliseconds(process);
    Sleep(DWORD(idleSeconds) * 1000);
    const double used = cpuMilliseconds(process) - before;
    std::printf("idle for %d s: %.1f ms of CPU time (target 0)\n", idleSeconds, used);
    failures += used > 0.0;

    PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
    program.waitForExit();
    CloseHandle(process);
    std::printf("%s\n", failures ? "SOME FIGURES MISSED THEIR TARGETS" : "all figures on target");
    return failures ? 1 : 0;
}
