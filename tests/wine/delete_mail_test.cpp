// Delete in this process: the session on a kit store, the confirmation answered from another
// thread, and what the store, the history and the display hold afterwards.
#include "app/app_state.h"
#include "mail/mail_display.h"
#include "mail/new_mail.h"
#include "mail_fixture.h"
#include "res/resource.h"
#include "window/history.h"
#include "wine_test.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

class DeleteMail : public ::testing::Test {
protected:
    void SetUp() override {
        app->displayWindow = 1;
        ASSERT_EQ(mail.start(), 1);
    }
    std::string arrive(const std::string& from, const std::string& subject) {
        const std::string unique = mail.deliver(from, subject, subject + " body");
        EXPECT_TRUE(wt::pumpUntil([&] { return mail.currentEntryId() == mail.messageId(unique); }))
            << "no notification for " << subject;
        return unique;
    }
    bool inStore(const std::string& unique) const {
        return mail.files.findMessage(mail.inbox, unique).has_value();
    }
    void clickHistoryLine(int line) {
        LVITEMA state{};
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        state.state = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageA(app->historyList, LVM_SETITEMSTATE, line, LPARAM(&state));
        NMHDR click{app->historyList, IDC_HISTORY, UINT(NM_CLICK)};
        SendMessageA(mail.window, WM_NOTIFY, IDC_HISTORY, LPARAM(&click));
    }

    HWND boxOfWindow() const {
        for (HWND box : wt::topLevelWindows(GetCurrentProcessId())) {
            char className[16] = "";
            GetClassNameA(box, className, sizeof className);
            if (std::string(className) == "#32770" && IsWindowVisible(box) &&
                GetWindow(box, GW_OWNER) == mail.window)
                return box;
        }
        return nullptr;
    }

    // Chooses Delete and answers its confirmation from another thread, as the user would,
    // after `whileAsked`. Returns the boxes that followed.
    std::vector<wt::MessageBoxText> runDelete(int answer = IDYES,
                                              const std::function<void()>& whileAsked = {}) {
        std::vector<wt::MessageBoxText> boxes;
        std::atomic<bool> done{false};
        std::thread user([&] {
            const HWND box = wt::waitForDialog("WARNING", GetCurrentProcessId(), 5000);
            if (whileAsked)
                whileAsked();
            wt::clickButton(box, answer);
            wt::pumpUntil([&] { return !IsWindow(box); });
            while (!done) {
                const HWND shown = boxOfWindow();
                if (!shown) {
                    Sleep(10);
                    continue;
                }
                if (auto next = wt::dismissMessageBox(GetCurrentProcessId(), 100, mail.window))
                    boxes.push_back(*next);
                wt::pumpUntil([&] { return !IsWindow(shown); }); // counted once
            }
        });
        SendMessageA(mail.window, WM_COMMAND, ID_DELETE, 0);
        done = true;
        user.join();
        return boxes;
    }
    std::vector<std::string> historySubjects() const {
        std::vector<std::string> subjects;
        for (int i = 0; i < mail.historyCount(); ++i)
            subjects.push_back(mail.historyText(i, 1));
        return subjects;
    }
    using Subjects = std::vector<std::string>;

    wt::MailFixture mail;
};

TEST_F(DeleteMail, RemovesTheMailShownAndItsLineThenShowsTheTopEntry) {
    const std::string first = arrive("Ann <ann@example.org>", "first");
    const std::string second = arrive("bob@example.org", "second");
    EXPECT_TRUE(runDelete().empty()) << "no box once confirmed";
    EXPECT_FALSE(inStore(second));
    EXPECT_TRUE(inStore(first));
    EXPECT_EQ(historySubjects(), Subjects{"first"});
    EXPECT_EQ(mail.senderLine(), "New mail from: Ann");
    EXPECT_EQ(mail.preview(), "first body");
    EXPECT_EQ(mail.currentEntryId(), mail.messageId(first));
    EXPECT_EQ(SendMessageA(app->historyList, LVM_GETITEMSTATE, 0, LVIS_SELECTED | LVIS_FOCUSED),
              LVIS_SELECTED | LVIS_FOCUSED);
}

TEST_F(DeleteMail, NoLeavesEverythingAsItWas) {
    const std::string unique = arrive("ann@example.org", "kept");
    const std::string line = mail.senderLine();
    EXPECT_TRUE(runDelete(IDNO).empty());
    EXPECT_TRUE(inStore(unique));
    EXPECT_EQ(historySubjects(), Subjects{"kept"});
    EXPECT_EQ(mail.senderLine(), line);
}

TEST_F(DeleteMail, TwiceOnAHistoryOfOneEmptiesItThenFindsNoMail) {
    const std::string unique = arrive("ann@example.org", "only");
    EXPECT_TRUE(runDelete().empty());
    EXPECT_FALSE(inStore(unique));
    EXPECT_EQ(mail.historyCount(), 0);
    EXPECT_EQ(mail.senderLine(), "");
    EXPECT_EQ(mail.subjectLine(), "");
    EXPECT_EQ(mail.preview(), "");

    const auto boxes = runDelete();
    ASSERT_EQ(boxes.size(), 1u) << "asked first, then told";
    EXPECT_EQ(boxes[0].caption, "INFO");
    EXPECT_EQ(boxes[0].text, "No mail to delete");
}

TEST_F(DeleteMail, AfterClickingAnOlderLineDeletesThatMail) {
    const std::string first = arrive("a@example.org", "first");
    const std::string second = arrive("b@example.org", "second");
    arrive("c@example.org", "third");
    clickHistoryLine(1);
    ASSERT_EQ(mail.subjectLine(), "second");
    runDelete();
    EXPECT_FALSE(inStore(second));
    EXPECT_TRUE(inStore(first));
    EXPECT_EQ(historySubjects(), (Subjects{"third", "first"}));
    EXPECT_EQ(mail.subjectLine(), "third") << "the top entry is shown afterwards";
}

TEST_F(DeleteMail, MailWithoutALineIsDeletedAndTheListKept) {
    arrive("a@example.org", "first");
    const std::string second = arrive("b@example.org", "second");
    removeHistoryLine(0); // as when its line has fallen out of the twenty
    selectTopHistoryLine();
    runDelete();
    EXPECT_FALSE(inStore(second));
    EXPECT_EQ(historySubjects(), Subjects{"first"});
    EXPECT_EQ(mail.subjectLine(), "first");
}

TEST_F(DeleteMail, OfTwoLinesWithTheSameMailOnlyTheUpperGoes) {
    const std::string first = arrive("a@example.org", "first");
    arrive("b@example.org", "second");
    MailForDisplay again;
    ASSERT_TRUE(readMailForDisplay(app->store, ULONG(mail.messageId(first).size()),
                                   mail.messageId(first).data(), again));
    addHistoryEntry(again); // first, second, first
    clickHistoryLine(2);
    ASSERT_EQ(mail.currentEntryId(), mail.messageId(first));
    runDelete();
    EXPECT_FALSE(inStore(first));
    EXPECT_EQ(historySubjects(), (Subjects{"second", "first"}));
    EXPECT_EQ(mail.subjectLine(), "second");
}

TEST_F(DeleteMail, MailArrivingWhileAskedIsTheOneDeleted) {
    const std::string first = arrive("a@example.org", "first");
    std::string second;
    runDelete(IDYES, [&] {
        second = mail.deliver("b@example.org", "arrived while asked");
        wt::pumpUntil([&] { return mail.subjectLine() == "arrived while asked"; });
    });
    EXPECT_FALSE(inStore(second));
    EXPECT_TRUE(inStore(first));
    EXPECT_EQ(historySubjects(), Subjects{"first"});
}

// The store refusing, at either of its two calls, keeps the mail in the history and on screen
// and says so; a mail that is gone already leaves without a word.
TEST_F(DeleteMail, RefusedByTheStoreTheMailStaysAndTheUserIsTold) {
    for (const char* fault :
         {"IMAPIFolder::DeleteMessages#1=0x80004005", "IMsgStore::OpenEntry#1+=0x80040102"}) {
        SCOPED_TRACE(fault);
        arrive("a@example.org", "first");
        const std::string second = arrive("Bob <b@example.org>", "second");
        const std::string line = mail.senderLine();
        mail.store.setFaults(fault);
        const auto boxes = runDelete();
        mail.store.setFaults({});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, "The mail could not be deleted");
        EXPECT_TRUE(inStore(second));
        EXPECT_EQ(historySubjects(), (Subjects{"second", "first"}));
        EXPECT_EQ(mail.senderLine(), line);
        EXPECT_EQ(mail.subjectLine(), "second");
        EXPECT_EQ(mail.preview(), "second body");
        EXPECT_EQ(mail.currentEntryId(), mail.messageId(second));
        for (int line = mail.historyCount(); line-- > 0;)
            removeHistoryLine(line);
    }
}

// The store defers the lookup of a message opened with MAPI_DEFERRED_ERRORS, as real stores
// do: only an answer that cannot be deferred tells that the mail is gone.
TEST_F(DeleteMail, MailGoneAlreadyLeavesTheHistorySilently) {
    arrive("a@example.org", "first");
    const std::string second = arrive("b@example.org", "deleted elsewhere");
    ASSERT_TRUE(mail.files.deleteMessage(mail.inbox, second));
    EXPECT_TRUE(runDelete().empty());
    EXPECT_EQ(historySubjects(), Subjects{"first"});
    EXPECT_EQ(mail.subjectLine(), "first");
    // Each way a store may say so; the delete itself failing as it would for a gone mail.
    for (const char* gone : {"0x80040107", "0x8004010A"}) { // invalid identifier, object deleted
        SCOPED_TRACE(gone);
        arrive("c@example.org", "said gone");
        mail.store.setFaults(std::string("IMAPIFolder::DeleteMessages#1=0x80004005; "
                                         "IMessage::GetProps#1=") +
                             gone);
        EXPECT_TRUE(runDelete().empty());
        mail.store.setFaults({});
        EXPECT_EQ(historySubjects(), Subjects{"first"});
    }
}

// A store that delivers notifications inside its own calls (OpenEntry, DeleteMessages with
// its dialog): a mail waiting when the program calls it arrives in the middle of the work.
// The test holds the store's notices back from this thread's message loop so that they wait.
class HeldNotifications {
public:
    HeldNotifications() {
        held = 0;
        hook_ = SetWindowsHookExA(WH_GETMESSAGE, &swallow, nullptr, GetCurrentThreadId());
    }
    ~HeldNotifications() { UnhookWindowsHookEx(hook_); }
    static inline std::atomic<int> held{0};

private:
    static LRESULT CALLBACK swallow(int code, WPARAM removing, LPARAM message) {
        auto* msg = reinterpret_cast<MSG*>(message);
        char className[64] = "";
        if (code == HC_ACTION && removing == PM_REMOVE && msg->message == WM_APP + 1 &&
            GetClassNameA(msg->hwnd, className, sizeof className) &&
            std::string(className) == "MaildirMapiNotifications") {
            msg->message = WM_NULL; // the store's notices now wait for its next call
            ++held;
        }
        return CallNextHookEx(nullptr, code, removing, message);
    }
    HHOOK hook_;
};

class DeleteMailWhileCallsDeliver : public DeleteMail {
protected:
    void SetUp() override {
        mail.store.setNotifyInCalls(true);
        DeleteMail::SetUp();
    }
};

TEST_F(DeleteMailWhileCallsDeliver, MailWaitingWhenConfirmedKeepsItsLineAndIsShown) {
    const std::string first = arrive("a@example.org", "first");
    const std::string doomed = arrive("b@example.org", "to delete");
    std::string waiting;
    {
        HeldNotifications hold;
        runDelete(IDYES, [&] {
            waiting = mail.deliver("c@example.org", "waiting");
            wt::pumpUntil([] { return HeldNotifications::held > 0; }, 15000);
        });
    }
    EXPECT_FALSE(inStore(doomed));
    EXPECT_TRUE(inStore(waiting));
    EXPECT_TRUE(inStore(first));
    EXPECT_EQ(historySubjects(), (Subjects{"waiting", "first"}));
    EXPECT_EQ(mail.subjectLine(), "waiting");
    EXPECT_EQ(mail.currentEntryId(), mail.messageId(waiting));
}

TEST_F(DeleteMailWhileCallsDeliver, ClickOnAGoneMailWhileOneWaitsRemovesOnlyTheGoneLine) {
    const std::string gone = arrive("a@example.org", "gone");
    arrive("b@example.org", "kept");
    ASSERT_TRUE(mail.files.deleteMessage(mail.inbox, gone));
    wt::pumpFor(500); // its notice is not the one held
    HeldNotifications hold;
    mail.deliver("c@example.org", "waiting");
    ASSERT_TRUE(wt::pumpUntil([] { return HeldNotifications::held > 0; }, 15000));
    clickHistoryLine(1);
    EXPECT_EQ(historySubjects(), (Subjects{"waiting", "kept"}));
}

// A store that calls the sinks on its own thread: a burst of mails while Delete and clicks in
// the history run. Every mail is handled on the window's thread, once.
std::atomic<int> announced{0}, announcedElsewhere{0};
DWORD windowThread = 0;
void WINAPI countingClock(LPSYSTEMTIME time) {
    ++announced; // read once for each mail announced
    if (GetCurrentThreadId() != windowThread)
        ++announcedElsewhere;
    GetLocalTime(time);
}

class DeleteMailOnStoreThread : public DeleteMail {
protected:
    void SetUp() override {
        mail.store.setNotifications("watcher");
        DeleteMail::SetUp();
    }
};

TEST_F(DeleteMailOnStoreThread, BurstDuringDeleteAndClicksIsAnnouncedOnceEachOnTheWindowsThread) {
    arrive("a@example.org", "before the burst");
    announced = 0;
    announcedElsewhere = 0;
    windowThread = GetCurrentThreadId();
    readLocalTime = &countingClock;
    constexpr int rounds = 50, burst = 4;
    for (int round = 0; round < rounds; ++round) {
        std::thread store([&] {
            for (int i = 0; i < burst; ++i)
                mail.deliver("b@example.org", "burst " + std::to_string(round * burst + i));
        });
        runDelete();
        clickHistoryLine(1);
        clickHistoryLine(0);
        store.join();
        ASSERT_TRUE(wt::pumpUntil([&] { return announced == (round + 1) * burst; }, 15000))
            << "round " << round << ": " << announced << " announced";
    }
    wt::pumpFor(300);
    readLocalTime = &GetLocalTime;
    EXPECT_EQ(announced, rounds * burst) << "each mail once";
    EXPECT_EQ(announcedElsewhere, 0);
}

} // namespace
