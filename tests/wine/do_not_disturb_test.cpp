// Do not disturb: mail while Windows says the user may not be interrupted, the popup shown once
// when that ends, and reminder windows that show without taking the focus.
#include "app/app_state.h"
#include "app/do_not_disturb.h"
#include "calendar/reminder_text.h"
#include "calendar/reminder_window.h"
#include "mail/blink.h"
#include "mail/new_mail.h"
#include "mail_fixture.h"
#include "reminder_windows.h"
#include "res/resource.h"
#include "window/held_popup.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

std::atomic<QUERY_USER_NOTIFICATION_STATE> userState{QUNS_ACCEPTS_NOTIFICATIONS};
HRESULT WINAPI reportedState(QUERY_USER_NOTIFICATION_STATE* state) {
    *state = userState;
    return S_OK;
}

std::atomic<int> soundsPlayed{0};
BOOL WINAPI countSound(LPCSTR, HMODULE, DWORD) {
    ++soundsPlayed;
    return TRUE;
}

// Windows' answer is the test's; the held popup asks every 50 ms instead of every few seconds.
class UserState {
public:
    UserState() {
        userState = QUNS_ACCEPTS_NOTIFICATIONS;
        queryNotificationState = &reportedState;
        heldPopupCheckMs = 50;
    }
    ~UserState() {
        queryNotificationState = &SHQueryUserNotificationState;
        heldPopupCheckMs = 5000;
    }
};

class DoNotDisturb : public ::testing::TestWithParam<QUERY_USER_NOTIFICATION_STATE> {
protected:
    void SetUp() override {
        soundsPlayed = 0;
        playSoundFile = &countSound;
        app->displayWindow = 1;
        app->playSound = 1;
        ASSERT_EQ(mail.start(), 1);
    }
    void TearDown() override { playSoundFile = &PlaySoundA; }
    void arrive(const std::string& subject) {
        const std::string unique = mail.deliver("a@example.org", subject);
        ASSERT_TRUE(
            wt::pumpUntil([&] { return mail.currentEntryId() == mail.messageId(unique); }, 15000));
    }
    bool shown() const { return IsWindowVisible(mail.window) != FALSE; }

    UserState state;
    wt::MailFixture mail;
};

TEST_P(DoNotDisturb, MailEntersHistoryAndBlinksAndThePopupWaitsUntilTheStateEnds) {
    userState = GetParam();
    app->expandedLayout = 1;
    arrive("first");
    arrive("second");
    wt::pumpFor(300); // the held popup asks a few times meanwhile
    EXPECT_FALSE(shown());
    EXPECT_EQ(mail.historyCount(), 2);
    EXPECT_EQ(mail.subjectLine(), "second");
    EXPECT_EQ(app->mailPending, 1u);
    EXPECT_EQ(runningBlinkThreads(), 1);
    EXPECT_EQ(soundsPlayed, GetParam() == QUNS_NOT_PRESENT ? 2 : 0)
        << "sound only while the user is away, not over a presentation or a full screen";

    userState = QUNS_ACCEPTS_NOTIFICATIONS;
    ASSERT_TRUE(wt::pumpUntil([&] { return shown(); }, 2000));
    EXPECT_FALSE(popupHeld());
    RECT frame{};
    GetWindowRect(mail.window, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 450) << "in the recorded layout";
    EXPECT_EQ(mail.subjectLine(), "second") << "with the newest mail";
    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    wt::pumpFor(300);
    EXPECT_FALSE(shown()) << "once";
}

INSTANTIATE_TEST_SUITE_P(EachState, DoNotDisturb,
                         ::testing::Values(QUNS_BUSY, QUNS_RUNNING_D3D_FULL_SCREEN,
                                           QUNS_PRESENTATION_MODE, QUNS_NOT_PRESENT));

using NotDisturbed = DoNotDisturb;

TEST_F(NotDisturbed, MailPopsUpAtOnceWithItsSoundAndNothingWaits) {
    arrive("hello");
    EXPECT_TRUE(shown());
    EXPECT_EQ(soundsPlayed, 1);
    EXPECT_FALSE(popupHeld());
}

TEST_F(NotDisturbed, AWindowOpenedAndClosedFromTheTrayMeanwhileDoesNotPopUpAgain) {
    userState = QUNS_PRESENTATION_MODE;
    arrive("during the talk");
    wt::postTrayMouse(mail.window, WM_LBUTTONDOWN);
    ASSERT_TRUE(wt::pumpUntil([&] { return shown(); }, 1000));
    SendMessageA(mail.window, WM_COMMAND, ID_CLOSE, 0);
    userState = QUNS_ACCEPTS_NOTIFICATIONS;
    wt::pumpFor(300);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(popupHeld());
}

// Reminder windows show in every state, but take the focus only when the user may be
// interrupted.
class QuietReminder : public ::testing::Test {
protected:
    ~QuietReminder() override {
        wt::closeReminders(GetCurrentProcessId());
        DestroyWindow(work);
    }
    // The window of the reminder opened while `state` holds, and whether it took the focus.
    bool reminderTakesFocus(QUERY_USER_NOTIFICATION_STATE state) {
        userState = state;
        SetForegroundWindow(work);
        wt::pumpUntil([&] { return GetForegroundWindow() == work; }, 1000);
        char* block = new char[reminderBlockSize];
        writeReminderBlock(block, "Standup", "Room 4", "Date & Time : 17-06-2026  09:05");
        CloseHandle(CreateThread(nullptr, 0, reminderWindowThread, block, 0, nullptr));
        const auto windows = wt::waitForReminders(GetCurrentProcessId(), 1);
        EXPECT_EQ(windows.size(), 1u) << "shown in every state";
        wt::pumpFor(300);
        const bool focused = !windows.empty() && GetForegroundWindow() == windows[0];
        wt::closeReminders(GetCurrentProcessId());
        return focused;
    }

    UserState quiet;
    wt::ProgramWindow program;
    HWND work = CreateWindowExA(0, "STATIC", "the user's work", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                300, 300, 200, 100, nullptr, nullptr, nullptr, nullptr);
};

TEST_F(QuietReminder, TakesTheFocusOnlyWhenTheUserMayBeInterrupted) {
    EXPECT_FALSE(reminderTakesFocus(QUNS_PRESENTATION_MODE));
    EXPECT_TRUE(reminderTakesFocus(QUNS_ACCEPTS_NOTIFICATIONS));
}

} // namespace
