// New mail in this process: the session on a kit store, the handler, the history and blinking.
#include "app/app_state.h"
#include "app/failure_trace.h"
#include "mail/advise_sink.h"
#include "mail/blink.h"
#include "mail/mail_message.h"
#include "mail/new_mail.h"
#include "mail/notification_text.h"
#include "mail/tray_icon.h"
#include "mail_fixture.h"
#include "res/resource.h"
#include "window/history.h"
#include "trace_recorder.h"
#include "wine_test.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <mapiguid.h>
#include <mapix.h>

#include <algorithm>

namespace {

class NewMail : public ::testing::Test {
protected:
    void SetUp() override {
        app->displayWindow = 1;
        ASSERT_EQ(mail.start(), 1);
    }
    // Delivers and waits until the window shows it.
    std::string arrive(const std::string& from, const std::string& subject,
                       const std::string& body = "Text") {
        const std::string unique = mail.deliver(from, subject, body);
        // Generous: a busy machine delays the store's notice, and a pass costs no waiting.
        EXPECT_TRUE(
            wt::pumpUntil([&] { return mail.currentEntryId() == mail.messageId(unique); }, 15000))
            << "no notification for " << subject;
        return unique;
    }
    SIZE windowSize() const {
        RECT r;
        GetWindowRect(mail.window, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    // Moves the focus only: the selection stays on the top line, so the line shown must be the
    // focused one.
    void clickHistoryLine(int line) {
        LVITEMA state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageA(app->historyList, LVM_SETITEMSTATE, line, LPARAM(&state));
        NMHDR click{app->historyList, IDC_HISTORY, UINT(NM_CLICK)};
        SendMessageA(mail.window, WM_NOTIFY, IDC_HISTORY, LPARAM(&click));
    }

    wt::MailFixture mail;
};

// What one mail shows

void WINAPI lateMarchMorning(LPSYSTEMTIME time) {
    *time = SYSTEMTIME{1998, 3, 2, 24, 9, 5, 0, 0}; // a day above 12: day and month cannot swap
}

TEST_F(NewMail, FillsTheSenderLineSubjectPreviewAndHistory) {
    readLocalTime = &lateMarchMorning;
    const std::string unique = arrive("Help Desk <help@example.org>", "Printer fixed",
                                      "The printer on floor 2\nworks again.");
    readLocalTime = &GetLocalTime;
    EXPECT_EQ(mail.senderLine(), "24/03/1998 09:05 New mail from: Help Desk");
    EXPECT_EQ(mail.subjectLine(), "Printer fixed");
    EXPECT_EQ(mail.preview(), "The printer on floor 2\r\nworks again.");
    ASSERT_EQ(mail.historyCount(), 1);
    EXPECT_EQ(mail.historyText(0, 0), "Help Desk");
    EXPECT_EQ(mail.historyText(0, 1), "Printer fixed");
    EXPECT_EQ(mail.currentEntryId(), mail.messageId(unique));
    EXPECT_EQ(app->currentFolderIdSize, mail.files.uid().size() + 6 + mail.inbox.size());
    EXPECT_EQ(app->mailPending, 1u);
}

TEST_F(NewMail, LongSubjectAndBodyAreCut) {
    arrive("a@example.org", std::string(300, 's'), std::string(5000, 'b'));
    EXPECT_EQ(mail.subjectLine(), std::string(254, 's'));
    EXPECT_EQ(mail.preview().size(), 4089u);
    EXPECT_EQ(mail.historyText(0, 1), std::string(255, 's')) << "history lines keep 255";
}

// The kit, as real stores, gives a body this long only through a stream.
TEST_F(NewMail, LongMailShowsTheStartOfItsBody) {
    std::string body = "Dear all,\r\n";
    for (int line = 1; body.size() < 40000; ++line)
        body += "paragraph " + std::to_string(line) + " of the minutes\r\n";
    arrive("a@example.org", "Minutes", body);
    EXPECT_EQ(mail.preview(), body.substr(0, 4089));
}

TEST_F(NewMail, MissingSenderLeavesItEmpty) {
    const std::string before = mail.senderLine();
    mail.files.deliver(mail.inbox, "Subject: anonymous\r\n\r\nno From field");
    ASSERT_TRUE(mail.waitForSenderLine(before));
    EXPECT_TRUE(mail.senderLine().ends_with("New mail from: ")) << mail.senderLine();
    EXPECT_EQ(mail.subjectLine(), "anonymous");
}

TEST_F(NewMail, EveryNewMailOfOneCallIsAnnouncedInOrder) {
    app->paused = 1; // the store's own notifications go unheard; the call below is the test's
    const std::string first = mail.deliver("first@example.org", "first");
    const std::string second = mail.deliver("second@example.org", "second");
    wt::pumpFor(500);
    app->paused = 0;
    devkit::Bytes ids[] = {mail.messageId(first), mail.messageId(second)};
    NOTIFICATION batch[3] = {};
    batch[0].ulEventType = fnevObjectModified;
    for (int i = 0; i < 2; ++i) {
        batch[i + 1].ulEventType = fnevNewMail;
        batch[i + 1].info.newmail.cbEntryID = ULONG(ids[i].size());
        batch[i + 1].info.newmail.lpEntryID = reinterpret_cast<ENTRYID*>(ids[i].data());
    }
    AdviseSink sink(mail.window, AdviseSink::mailSink);
    EXPECT_EQ(sink.OnNotify(3, batch), ULONG(S_OK));
    ASSERT_EQ(mail.historyCount(), 2);
    EXPECT_EQ(mail.historyText(0, 1), "second");
    EXPECT_EQ(mail.historyText(1, 1), "first");
    EXPECT_EQ(mail.subjectLine(), "second");
    EXPECT_EQ(mail.currentEntryId(), ids[1]);
}

// COM's identity rule: asked for the interface it is, the sink answers with the same object.
TEST(AdviseSinkIdentity, AnswersForItsOwnInterfaceWithTheSameObject) {
    auto* sink = new AdviseSink(nullptr, AdviseSink::mailSink);
    sink->AddRef();
    void* unknown = nullptr;
    void* adviseSink = nullptr;
    ASSERT_EQ(sink->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(sink->QueryInterface(IID_IMAPIAdviseSink, &adviseSink), S_OK);
    EXPECT_EQ(unknown, adviseSink);
    void* other = &other;
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(sink->Release(), 2u);
    sink->Release();
    sink->Release();
}

// A mail that cannot be read changes nothing: the window, the mail now shown and the history
// go on agreeing with each other.
TEST(NewMailFaults, UnreadableMailLeavesWindowIdentifiersAndHistoryAsTheyWere) {
    wt::MailFixture mail;
    wt::TraceRecorder trace;
    mail.store.setFaults("IMessage::GetProps#2=0x80004005");
    ASSERT_EQ(mail.start(), 1);
    const std::string first = mail.deliver("first@example.org", "first");
    ASSERT_TRUE(wt::pumpUntil([&] { return mail.currentEntryId() == mail.messageId(first); }));
    const std::string line = mail.senderLine();
    mail.deliver("second@example.org", "unreadable");
    ASSERT_TRUE(wt::pumpUntil(
        [&] { return trace.saw("Tavinel: IMessage::GetProps failed: 0x80004005\n"); }));
    EXPECT_EQ(mail.senderLine(), line);
    EXPECT_EQ(mail.subjectLine(), "first");
    EXPECT_EQ(mail.currentEntryId(), mail.messageId(first));
    EXPECT_EQ(mail.historyCount(), 1);
}

// Stores give the body of a long mail only as a stream.
struct StreamedBody : IMAPIProp {
    explicit StreamedBody(std::string text, HRESULT opening = S_OK)
        : text(std::move(text)), opening(opening) {}
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG, LPUNKNOWN* object) override {
        if (FAILED(opening) || tag != PR_BODY || !IsEqualIID(*iid, IID_IStream))
            return FAILED(opening) ? opening : MAPI_E_NO_SUPPORT;
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
            return E_OUTOFMEMORY;
        stream->Write(text.data(), ULONG(text.size()), nullptr);
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        *object = stream;
        return S_OK;
    }
    // The rest is never called.
#define NOT_CALLED(name, ...)                                                                      \
    STDMETHODIMP name(__VA_ARGS__) override {                                                      \
        return E_NOTIMPL;                                                                          \
    }
    NOT_CALLED(GetLastError, HRESULT, ULONG, LPMAPIERROR*)
    NOT_CALLED(SaveChanges, ULONG)
    NOT_CALLED(GetProps, LPSPropTagArray, ULONG, ULONG*, LPSPropValue*)
    NOT_CALLED(GetPropList, ULONG, LPSPropTagArray*)
    NOT_CALLED(SetProps, ULONG, LPSPropValue, LPSPropProblemArray*)
    NOT_CALLED(DeleteProps, LPSPropTagArray, LPSPropProblemArray*)
    NOT_CALLED(CopyTo, ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
               LPSPropProblemArray*)
    NOT_CALLED(CopyProps, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
               LPSPropProblemArray*)
    NOT_CALLED(GetNamesFromIDs, LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**)
    NOT_CALLED(GetIDsFromNames, ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*)
#undef NOT_CALLED
    std::string text;
    HRESULT opening;
};

TEST(LongMail, BodyTheStoreWillNotGiveAtOnceIsReadAsAStream) {
    SPropValue tooLarge{PROP_TAG(PT_ERROR, PROP_ID(PR_BODY)), 0, {}};
    tooLarge.Value.err = MAPI_E_NOT_ENOUGH_MEMORY;
    EXPECT_TRUE(needsStream(tooLarge, PR_BODY));
    tooLarge.Value.err = MAPI_E_NOT_FOUND; // a mail without a body: nothing to read
    EXPECT_FALSE(needsStream(tooLarge, PR_BODY));

    StreamedBody longMail(std::string(3000, 'a') + std::string(3000, 'b'));
    const std::string preview = readTextStream(&longMail, PR_BODY, bodyCopyLimit);
    EXPECT_EQ(preview, std::string(3000, 'a') + std::string(1089, 'b'));
    StreamedBody refused("never read", MAPI_E_NO_ACCESS);
    wt::TraceRecorder trace;
    EXPECT_EQ(readTextStream(&refused, PR_BODY, bodyCopyLimit), "");
    EXPECT_TRUE(trace.saw("Tavinel: IMAPIProp::OpenProperty failed: 0x80070005\n"));
}

// How the window is presented

TEST_F(NewMail, ShownCollapsedOrExpandedAsRecorded) {
    arrive("a@b", "collapsed");
    EXPECT_TRUE(IsWindowVisible(mail.window));
    EXPECT_EQ(windowSize().cy, 150);
    app->expandedLayout = 1;
    arrive("a@b", "expanded");
    EXPECT_EQ(windowSize().cy, 450);
    EXPECT_EQ(windowSize().cx, 400);
}

TEST_F(NewMail, HiddenWindowIsStillFilled) {
    app->displayWindow = 0;
    arrive("a@b", "quietly");
    EXPECT_FALSE(IsWindowVisible(mail.window));
    EXPECT_EQ(mail.subjectLine(), "quietly");
    EXPECT_EQ(mail.historyCount(), 1);
    EXPECT_EQ(app->mailPending, 1u) << "the icon blinks all the same";
}

// What is ignored

TEST_F(NewMail, PausedMailIsNeverHandled) {
    app->paused = 1;
    mail.deliver("a@b", "while paused");
    wt::pumpFor(800);
    EXPECT_EQ(mail.senderLine(), "");
    EXPECT_EQ(mail.historyCount(), 0);
    EXPECT_EQ(app->mailPending, 0u);
    EXPECT_FALSE(IsWindowVisible(mail.window));
    app->paused = 0;
    wt::pumpFor(300);
    EXPECT_EQ(mail.historyCount(), 0) << "not even after the pause";
}

TEST_F(NewMail, OtherEventsChangeNothing) {
    const std::string unique = arrive("a@b", "stays");
    const std::string line = mail.senderLine();
    mail.files.deleteMessage(mail.inbox, unique);
    bool existed = false;
    mail.files.createFolder(mail.inbox, "New folder", existed);
    wt::pumpFor(800);
    EXPECT_EQ(mail.senderLine(), line);
    EXPECT_EQ(mail.historyCount(), 1);
}

// The folders watched

TEST(MailSession, WatchesTheInboxAndItsDirectSubfoldersOnly) {
    wt::MailFixture mail;
    bool existed = false;
    for (const char* name : {"One", "Two", "Three"})
        mail.files.createFolder(mail.inbox, name, existed);
    const std::string deeper = *mail.files.createFolder(mail.inbox + "/One", "Deeper", existed);
    ASSERT_EQ(mail.start(), 1);
    mail.deliver("a@b", "too deep", "x", deeper);
    wt::pumpFor(800);
    EXPECT_EQ(mail.historyCount(), 0);
    mail.deliver("a@b", "in Three", "x", mail.inbox + "/Three");
    ASSERT_TRUE(mail.waitForSenderLine(""));
    EXPECT_EQ(mail.subjectLine(), "in Three");
    EXPECT_NE(app->inboxSink, nullptr);
}

TEST(MailSession, AFailedInboxWatchFailsTheStartAndTracesTheCall) {
    wt::MailFixture mail;
    wt::TraceRecorder trace;
    mail.store.setFaults("IMsgStore::Advise#1=0x80004005");
    EXPECT_EQ(mail.start(), 0);
    EXPECT_EQ(trace.lines(),
              std::vector<std::string>{"Tavinel: IMsgStore::Advise failed: 0x80004005\n"});
}

TEST(MailSession, CreatesTheIpmSubtreeOnceWhenTheStoreLacksIt) {
    wt::MailFixture mail;
    devkit::fs::remove(mail.files.root() / devkit::propertiesFile);
    mail.files.open();
    ASSERT_EQ(mail.start(), 1);
    auto recorded = mail.files.property(devkit::ipmSubtreeProperty);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(*recorded, devkit::folderEntryId(mail.files.uid(), "IPM_SUBTREE"));
}

TEST(MailSession, CalendarFolderFoundInAnyLetterCaseAtTopLevelOnly) {
    wt::MailFixture mail;
    mail.files.removeFolder("IPM_SUBTREE/Calendar"); // the store's own, made by init
    bool existed = false;
    mail.files.createFolder(mail.inbox, "Calendar", existed);
    const std::string top = *mail.files.createFolder("IPM_SUBTREE", "cALENDAR", existed);
    mail.files.createFolder("IPM_SUBTREE", "Calendars", existed);
    app->calendar = 1;
    ASSERT_EQ(mail.start(), 1);
    const devkit::Bytes expected = devkit::folderEntryId(mail.files.uid(), top);
    ASSERT_EQ(app->calendarFolderIdSize, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), app->calendarFolderId));
    EXPECT_NE(app->calendarSink, nullptr);
}

TEST(MailSession, CalendarOffLooksForNone) {
    wt::MailFixture mail;
    bool existed = false;
    mail.files.createFolder("IPM_SUBTREE", "Calendar", existed);
    ASSERT_EQ(mail.start(), 1);
    EXPECT_EQ(app->calendarFolderId, nullptr);
    EXPECT_EQ(app->calendarFolderIdSize, 0u);
    EXPECT_EQ(app->calendarSink, nullptr);
}

// After the computer resumes

TEST(Resume, AStoreThatNoLongerAnswersIsTracedAndNamedInTheTrayTip) {
    wt::MailFixture mail;
    ASSERT_EQ(mail.start(), 1);
    wt::TraceRecorder trace;
    auto tips = [] {
        std::vector<std::string> seen;
        for (const wt::TrayCall& call : wt::trayCalls())
            if (call.data.uFlags & NIF_TIP)
                seen.push_back(call.data.szTip);
        return seen;
    };
    auto powerEvent = [&](WPARAM event) {
        wt::clearTrayCalls();
        SendMessageA(mail.window, WM_POWERBROADCAST, event, 0);
    };
    powerEvent(PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(tips().empty()) << "a store that answers changes nothing";

    mail.store.setFaults("IMsgStore::GetReceiveFolder#1+=0x80040115");
    powerEvent(PBT_APMSUSPEND);
    EXPECT_TRUE(trace.lines().empty()) << "only a resume asks";
    powerEvent(PBT_APMRESUMESUSPEND);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{
                                 "Tavinel: IMsgStore::GetReceiveFolder failed: 0x80040115\n"});
    EXPECT_EQ(tips(), std::vector<std::string>{trayTipStoreSilent});
    EXPECT_STREQ(trayIconData(mail.window, app->trayIcons[1]).szTip, trayTipStoreSilent)
        << "the blinking keeps the tip";

    mail.store.setFaults("");
    powerEvent(PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ(tips(), std::vector<std::string>{"Tavinel"}) << "answering again";
}

// The history

TEST_F(NewMail, TheTwentyFirstMailPushesOutTheOldest) {
    for (int i = 1; i <= 21; ++i)
        arrive("sender" + std::to_string(i) + "@example.org", "mail " + std::to_string(i));
    ASSERT_EQ(mail.historyCount(), 20);
    EXPECT_EQ(mail.historyText(0, 1), "mail 21");
    EXPECT_EQ(mail.historyText(19, 1), "mail 2");
    EXPECT_EQ(SendMessageA(app->historyList, LVM_GETITEMSTATE, 0, LVIS_SELECTED | LVIS_FOCUSED),
              LVIS_SELECTED | LVIS_FOCUSED);
}

TEST_F(NewMail, ClickingAnOlderLineShowsThatMail) {
    const std::string first = arrive("First Sender <first@example.org>", "first", "first body");
    arrive("second@example.org", "second", "second body");
    clickHistoryLine(1);
    EXPECT_EQ(mail.senderLine(), "New mail from: First Sender");
    EXPECT_EQ(mail.subjectLine(), "first");
    EXPECT_EQ(mail.preview(), "first body");
    EXPECT_EQ(mail.currentEntryId(), mail.messageId(first));
    EXPECT_EQ(mail.historyCount(), 2);
}

TEST_F(NewMail, ClickingALineWhoseMailIsGoneRemovesIt) {
    const std::string first = arrive("a@b", "deleted elsewhere");
    arrive("c@d", "still here");
    const std::string shown = mail.senderLine();
    const auto current = mail.currentEntryId();
    mail.files.deleteMessage(mail.inbox, first);
    clickHistoryLine(1);
    EXPECT_EQ(mail.historyCount(), 1);
    EXPECT_EQ(mail.historyText(0, 1), "still here");
    EXPECT_EQ(SendMessageA(app->historyList, LVM_GETITEMSTATE, 0, LVIS_SELECTED), LVIS_SELECTED);
    EXPECT_EQ(mail.senderLine(), shown) << "the display keeps the previous mail";
    EXPECT_EQ(mail.currentEntryId(), current);
}

TEST_F(NewMail, ShowingWithoutAWantedLineShowsNothing) {
    arrive("a@b", "only line");
    LVITEMA clear{};
    clear.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageA(app->historyList, LVM_SETITEMSTATE, 0, LPARAM(&clear));
    SetWindowTextA(app->subjectLabel, "untouched");
    showHistoryEntry(HistoryLine::selected);
    EXPECT_EQ(mail.subjectLine(), "untouched");
}

// Blinking

TEST_F(NewMail, OneBlinkThreadCyclesTheFourIconsEvery650Ms) {
    wt::clearTrayCalls();
    arrive("a@b", "blink");
    arrive("a@b", "blink again");
    wt::pumpFor(2700);
    EXPECT_EQ(runningBlinkThreads(), 1);
    auto calls = wt::trayCalls();
    ASSERT_GE(calls.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].action, DWORD(NIM_MODIFY));
        EXPECT_EQ(calls[i].data.hIcon, app->trayIcons[i]);
    }
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].at - calls[i - 1].at, 600u);
        EXPECT_LE(calls[i].at - calls[i - 1].at, 800u);
    }

    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    EXPECT_EQ(app->mailPending, 0u);
    EXPECT_TRUE(wt::pumpUntil([] { return runningBlinkThreads() == 0; }, 800))
        << "ends within one tick";
    EXPECT_EQ(wt::trayCalls().back().data.hIcon, app->trayIcons[0]) << "the envelope stays";
}

TEST_F(NewMail, MailRightAfterCloseKeepsOneThreadBlinkingInStep) {
    arrive("a@b", "first");
    wt::pumpFor(100); // the thread is asleep in its first tick
    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    arrive("a@b", "second"); // before the thread wakes and finds the window closed
    wt::clearTrayCalls();
    wt::pumpFor(2700);
    EXPECT_EQ(runningBlinkThreads(), 1);
    const auto calls = wt::trayCalls();
    ASSERT_GE(calls.size(), 3u);
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_GE(calls[i].at - calls[i - 1].at, 600u) << "icons change once a tick";
    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    EXPECT_TRUE(wt::pumpUntil([] { return runningBlinkThreads() == 0; }, 800));
}

TEST_F(NewMail, MailRightAfterCloseRestartsTheAutoHideCountdown) {
    app->timerEnabled = 1;
    app->timer = 2; // hidden at the fourth tick, 1.95 s after a thread starts
    arrive("a@b", "first");
    wt::pumpFor(1400);
    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    arrive("a@b", "second"); // the old thread would hide the window half a second from now
    const ULONGLONG shown = GetTickCount64();
    ASSERT_TRUE(IsWindowVisible(mail.window));
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindowVisible(mail.window); }, 4000));
    EXPECT_GE(GetTickCount64() - shown, 1900u) << "the whole delay again";
}

TEST_F(NewMail, AutoHideComesOnceAtTheCountdownAndBlinkingGoesOn) {
    app->timerEnabled = 1;
    app->timer = 1; // two ticks
    wt::clearTrayCalls();
    arrive("a@b", "hide me");
    const ULONGLONG shown = GetTickCount64();
    ASSERT_TRUE(IsWindowVisible(mail.window));
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindowVisible(mail.window); }, 2000));
    const ULONGLONG hidden = GetTickCount64() - shown;
    EXPECT_GE(hidden, 500u);
    EXPECT_LE(hidden, 1100u);
    EXPECT_EQ(app->mailPending, 1u);
    wt::pumpFor(1400);
    EXPECT_EQ(runningBlinkThreads(), 1) << "still blinking";
    SendMessageA(mail.window, 1026, 4097, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(mail.window));
    wt::pumpFor(1400);
    EXPECT_TRUE(IsWindowVisible(mail.window)) << "hidden once only";
}

} // namespace
