// Measures the real tavinel.exe on kit stores whose Inbox has 0, 100 and 1,000 subfolders, all
// of them watched by the program:
//   threads    in the program's process once it is ready
//   resident   its working set then
//   ready      from its start to a mail in the last subfolder shown in its window (one is
//              delivered every 20 ms, since a mail there before the folder is watched is not
//              announced)
// and, side by side, the working set of a bare program that initialises the same system
// libraries (OLE, common controls, a MAPI logon on the kit) and shows one window.
// Prints its figures; run through scripts/bench.sh.
//   scale_bench [subfolder counts...]
#include "bench_support.h"
#include "kit_store.h"
#include "res/resource.h"
#include "wine_test.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bench::threadCount;

double residentMegabytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return double(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

// Whether one of the mails "ready 1" to "ready <delivered>" is showing.
bool subjectShown(HWND window, int delivered) {
    const std::string subject = wt::controlText(window, IDC_SUBJECT);
    const int number = subject.rfind("ready ", 0) == 0 ? std::atoi(subject.c_str() + 6) : 0;
    return number >= 1 && number <= delivered;
}

// With TAVINEL_BENCH_HOLD=<seconds>, each measured process is left running that long, so that
// its memory can be looked at from outside (/proc/PID/smaps under Wine).
void holdForALook(int subfolders) {
    if (const char* hold = std::getenv("TAVINEL_BENCH_HOLD")) {
        std::printf("holding %s for %s s\n",
                    subfolders < 0 ? "the bare program"
                                   : (std::to_string(subfolders) + " subfolders").c_str(),
                    hold);
        std::fflush(stdout);
        Sleep(DWORD(std::atoi(hold)) * 1000);
    }
}

struct Figures {
    int subfolders = 0;
    int threads = 0;
    double resident = 0; // MB
    double ready = 0;    // s
};

bool measure(int subfolders, Figures& figures) {
    wt::ConfigurationKey key;
    key.writeValid();
    wt::KitStore store;
    std::string last = store.inbox;
    for (int i = 1; i <= subfolders; ++i) {
        bool existed = false;
        last = *store.files.createFolder(store.inbox, "Folder " + std::to_string(i), existed);
    }
    const ULONGLONG start = GetTickCount64();
    wt::Process program(wt::tavinelExe());
    HWND window = wt::waitForWindow("Tavinel 2.0", program.id(), 120000);
    if (!window) {
        std::printf("%d subfolders: tavinel.exe did not start\n", subfolders);
        return false;
    }
    // A mail already there when the folder is first watched is not announced, so one is
    // delivered every 20 ms until one shows: ready is when the first shows.
    int delivered = 0;
    while (!subjectShown(window, delivered)) {
        if (GetTickCount64() - start > 120000) {
            std::printf("%d subfolders: no mail in the last subfolder ever showed\n", subfolders);
            return false;
        }
        store.deliver("Bench <bench@example.org>", "ready " + std::to_string(++delivered), "body",
                      last);
        Sleep(20);
    }
    figures = {subfolders, 0, 0, double(GetTickCount64() - start) / 1000.0};
    Sleep(1000); // let start-up's threads end
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.id());
    figures.threads = threadCount(program.id());
    figures.resident = residentMegabytes(process);
    CloseHandle(process);
    holdForALook(subfolders);
    PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
    program.waitForExit(30000);
    return true;
}

double bareProgramMegabytes() {
    wt::KitStore store;
    wt::Process bare(wt::binaryDir() + "\\bare_program.exe");
    HWND window = wt::waitForWindow("Bare program", bare.id(), 30000);
    if (!window)
        return -1;
    Sleep(1000);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, bare.id());
    const double resident = residentMegabytes(process);
    CloseHandle(process);
    holdForALook(-1);
    PostMessageA(window, WM_CLOSE, 0, 0);
    bare.waitForExit(30000);
    return resident;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {0, 100, 1000};
    std::vector<Figures> all;
    for (int count : counts) {
        Figures figures;
        if (!measure(count, figures))
            return 1;
        std::printf("%5d subfolders: %3d threads, %6.1f MB resident, ready after %5.2f s\n", count,
                    figures.threads, figures.resident, figures.ready);
        std::fflush(stdout);
        all.push_back(figures);
    }
    int failures = 0;
    const Figures& none = all.front();
    for (const Figures& figures : all) {
        failures += figures.threads != none.threads;
        if (figures.subfolders == 1000)
            failures += figures.resident > none.resident + 16 || figures.ready > 2 * none.ready;
    }
    std::printf("targets: the same thread count for all; 1,000 subfolders at most +16 MB and "
                "twice the time to ready of %d\n",
                none.subfolders);

    const double bare = bareProgramMegabytes();
    std::printf("resident beside a bare program (OLE, common controls, MAPI logon, one window): "
                "%.1f MB against %.1f MB, %+.1f MB (target at most +6)\n",
                none.resident, bare, none.resident - bare);
    failures += bare < 0 || none.resident - bare > 6;
    std::printf("%s\n", failures ? "SOME FIGURES MISSED THEIR TARGETS" : "all figures on target");
    return failures ? 1 : 0;
}
