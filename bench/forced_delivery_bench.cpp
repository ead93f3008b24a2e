// Measures forced delivery in this process, with the program's own pass against the kit:
//   flush    one pass that moves N mails from a mail drop into the Inbox: its duration, and the
//            time from its start until the last mail is announced on the main thread (the
//            program's own sinks handle every one of them too); on one volume (a rename each)
//            and as across volumes (a copy each, forced by the kit's fault switch)
//   idle     CPU time of a pass that finds nothing waiting
// Prints its figures; run through scripts/bench.sh.
//   forced_delivery_bench [mails (1000)] [idle passes (500)]
#include "app/app_state.h"
#include "mail/forced_delivery.h"
#include "mail_fixture.h"
#include "mapi_test_support.h"
#include "wine_test.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

namespace fs = devkit::fs;

LONGLONG now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double milliseconds(LONGLONG from, LONGLONG to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to - from) * 1000.0 / double(frequency.QuadPart);
}

double threadCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

// Counts new-mail notifications and notes when the last one arrived.
class TimingSink : public IMAPIAdviseSink {
public:
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override {
        for (ULONG i = 0; i < count; ++i)
            newMail += notifications[i].ulEventType == fnevNewMail;
        last = now();
        return S_OK;
    }
    long newMail = 0;
    LONGLONG last = 0;
};

// Fills a drop as a fetcher does: each mail written into tmp/, then renamed into new/.
void fillDrop(const fs::path& drop, int mails) {
    for (const char* sub : {"tmp", "new", "cur"})
        fs::create_directories(drop / sub);
    for (int i = 0; i < mails; ++i) {
        const std::string name = "1700000000.M" + std::to_string(i) + ".fetcher";
        std::ofstream(drop / "tmp" / name, std::ios::binary)
            << "From: Bench <bench@example.org>\r\nSubject: mail " << i << "\r\n\r\nbody\r\n";
        fs::rename(drop / "tmp" / name, drop / "new" / name);
    }
}

bool measureFlush(const char* label, int mails, const std::string& faults) {
    const fs::path drop = kit::temporaryStoreRoot(L"bench-drop-");
    bool ok = false;
    TimingSink sink; // outlives the session, which holds it until MAPI is uninitialised
    {
        wt::MailFixture mail;
        mail.store.setTransports(L"bench=" + drop.native());
        mail.store.setFaults(faults);
        if (mail.start() != 1) {
            std::printf("the mail session did not start\n");
            return false;
        }
        const devkit::Bytes inbox = devkit::folderEntryId(mail.files.uid(), mail.inbox);
        ULONG connection = 0;
        app->store.load()->Advise(ULONG(inbox.size()),
                                  reinterpret_cast<ENTRYID*>(const_cast<BYTE*>(inbox.data())),
                                  fnevNewMail, &sink, &connection);
        fillDrop(drop, mails);

        const LONGLONG start = now();
        forceDelivery();
        const LONGLONG flushed = now();
        const bool all = wt::pumpUntil([&] { return sink.newMail >= mails; }, 120000);
        const size_t arrived = mail.files.messages(mail.inbox).size();
        std::printf("%s: a pass moving %d mails took %.0f ms (%.2f ms a mail); the last was "
                    "announced %.0f ms after the pass began; %zu in the Inbox, %ld announced\n",
                    label, mails, milliseconds(start, flushed),
                    milliseconds(start, flushed) / mails, milliseconds(start, sink.last), arrived,
                    sink.newMail);
        ok = all && arrived == size_t(mails);
    }
    std::error_code ignored;
    fs::remove_all(drop, ignored);
    return ok;
}

void measureIdle(int passes, bool withDrop) {
    const fs::path drop = kit::temporaryStoreRoot(L"bench-drop-");
    fs::create_directories(drop);
    {
        wt::MailFixture mail;
        mail.store.setTransports(withDrop ? L"bench=" + drop.native() : L"");
        if (mail.start() != 1)
            return;
        forceDelivery(); // the drop's folders are made on the first pass
        const double cpuBefore = threadCpuMilliseconds();
        const LONGLONG start = now();
        for (int i = 0; i < passes; ++i)
            forceDelivery();
        const LONGLONG end = now();
        const double cpu = threadCpuMilliseconds() - cpuBefore;
        std::printf("idle: %d passes with nothing waiting: %.3f ms of CPU and %.3f ms of time "
                    "per pass (%s)\n",
                    passes, cpu / passes, milliseconds(start, end) / passes,
                    withDrop ? "the spooler and one transport flushed each"
                             : "no mail drop: the spooler alone");
    }
    std::error_code ignored;
    fs::remove_all(drop, ignored);
}

} // namespace

int main(int argc, char** argv) {
    const int mails = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 500;
    bool ok = true;
    if (mails > 0) {
        ok = measureFlush("one volume", mails, {});
        ok = measureFlush("across volumes", mails, "MailDrop::Rename#1+=0x80070011") && ok;
    }
    measureIdle(passes, true);
    measureIdle(passes, false);
    return ok ? 0 : 1;
}
