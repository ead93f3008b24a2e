// Loading the configuration from the registry, quirks included.
#include "app/app_state.h"
#include "app/configuration.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Configuration : public ::testing::Test {
protected:
    void SetUp() override { app = new AppState(); }
    void TearDown() override {
        delete app;
        app = nullptr;
    }
    wt::ConfigurationKey key;
};

TEST(ConfigurationWithoutKey, FailsAndChangesNothing) {
    wt::ConfigurationKey::remove();
    AppState state;
    app = &state;
    state.timer = 7;
    EXPECT_EQ(loadConfiguration(), 0);
    EXPECT_EQ(state.timer, 7u);
    app = nullptr;
}

TEST_F(Configuration, VersionAloneLoadsAndLeavesEveryFieldZero) {
    key.setNumber("Version", 12);
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->timerEnabled, 0u);
    EXPECT_EQ(app->msMailServer, 0u);
    EXPECT_EQ(app->outlook, 0u);
    EXPECT_EQ(app->wavFile, nullptr);
    EXPECT_EQ(app->mailReaderPath, nullptr);
    EXPECT_EQ(app->playSound, 0u);
    EXPECT_EQ(app->displayWindow, 0u);
    EXPECT_EQ(app->calendar, 0u);
    EXPECT_EQ(app->msMailServerTime, 0u);
    EXPECT_EQ(app->timer, 0u);
}

TEST_F(Configuration, CompleteKeyFillsEveryField) {
    key.setNumber("Version", 12);
    key.setNumber("TimerEnabled", 1);
    key.setNumber("MSMailServer", 1);
    key.setNumber("OutLook", 0);
    key.setText("WavFile", "C:\\sounds\\ding.wav");
    key.setText("MailReaderPath", "C:\\Program Files\\Reader\\reader.exe");
    key.setNumber("PlaySound", 1);
    key.setNumber("DisplayWindow", 1);
    key.setNumber("Calendar", 1);
    key.setNumber("MSMailServerTime", 50);
    key.setNumber("Timer", 10);

    ASSERT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->timerEnabled, 1u);
    EXPECT_EQ(app->msMailServer, 1u);
    EXPECT_EQ(app->outlook, 0u);
    EXPECT_STREQ(app->wavFile, "C:\\sounds\\ding.wav");
    EXPECT_STREQ(app->mailReaderPath, "C:\\Program Files\\Reader\\reader.exe");
    EXPECT_EQ(app->playSound, 1u);
    EXPECT_EQ(app->displayWindow, 1u);
    EXPECT_EQ(app->calendar, 1u);
    EXPECT_EQ(app->msMailServerTime, 50u);
    EXPECT_EQ(app->timer, 10u);
}

TEST_F(Configuration, WrongVersionFailsButHasAlreadyReadTimerEnabled) {
    key.setNumber("Version", 11);
    key.setNumber("TimerEnabled", 1);
    key.setNumber("OutLook", 1);
    key.setNumber("Timer", 10);
    EXPECT_EQ(loadConfiguration(), 0);
    EXPECT_EQ(app->timerEnabled, 1u);
    EXPECT_EQ(app->outlook, 0u);
    EXPECT_EQ(app->timer, 0u);
}

TEST_F(Configuration, MissingVersionFails) {
    key.setNumber("OutLook", 1);
    EXPECT_EQ(loadConfiguration(), 0);
    EXPECT_EQ(app->outlook, 0u);
}

TEST_F(Configuration, AbsentValuesKeepWhatALaterLoadFinds) {
    key.setNumber("Version", 12);
    app->timer = 25;
    app->calendar = 1;
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->timer, 25u);
    EXPECT_EQ(app->calendar, 1u);
}

// Texts

TEST_F(Configuration, ZeroByteWavFileLeavesTheFieldNull) {
    key.setNumber("Version", 12);
    key.setRaw("WavFile", REG_SZ, "", 0);
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->wavFile, nullptr);
}

TEST_F(Configuration, EmptyWavFileWithTerminatorIsAnEmptyText) {
    key.setNumber("Version", 12);
    key.setText("WavFile", "");
    EXPECT_EQ(loadConfiguration(), 1);
    ASSERT_NE(app->wavFile, nullptr);
    EXPECT_STREQ(app->wavFile, "");
}

TEST_F(Configuration, TextStoredWithoutTerminatorStillEnds) {
    key.setNumber("Version", 12);
    key.setRaw("MailReaderPath", REG_BINARY, "abc", 3);
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_STREQ(app->mailReaderPath, "abc");
}

TEST_F(Configuration, ReloadGivesANewBufferAndKeepsTheOldOneReadable) {
    key.setNumber("Version", 12);
    key.setText("WavFile", "first.wav");
    ASSERT_EQ(loadConfiguration(), 1);
    const char* first = app->wavFile;
    key.setText("WavFile", "second.wav");
    ASSERT_EQ(loadConfiguration(), 1);
    EXPECT_NE(app->wavFile.load(), first);
    EXPECT_STREQ(app->wavFile, "second.wav");
    EXPECT_STREQ(first, "first.wav"); // a thread still holding it reads a valid text
}

TEST_F(Configuration, RemovedTextKeepsThePreviousBuffer) {
    key.setNumber("Version", 12);
    key.setText("MailReaderPath", "reader.exe");
    ASSERT_EQ(loadConfiguration(), 1);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Brunok\\Tavinel", "MailReaderPath");
    ASSERT_EQ(loadConfiguration(), 1);
    EXPECT_STREQ(app->mailReaderPath, "reader.exe");
}

// Numbers of the wrong shape

TEST_F(Configuration, TimerStoredAsLongTextIsIgnored) {
    key.setNumber("Version", 12);
    app->timer = 10;
    key.setText("Timer", "twenty seconds");
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->timer, 10u);
}

TEST_F(Configuration, NumbersOfOtherTypesAreCopiedByteForByte) {
    key.setNumber("Version", 12);
    const unsigned char calendar[4] = {1, 0, 0, 0};
    key.setRaw("Calendar", REG_BINARY, calendar, 4);
    key.setText("PlaySound", "1"); // two bytes: '1' and the terminator
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->calendar, 1u);
    EXPECT_EQ(app->playSound, 0x31u);
}

TEST_F(Configuration, ShortNumberOverwritesOnlyItsOwnBytes) {
    key.setNumber("Version", 12);
    app->msMailServerTime = 0x11223344;
    const unsigned char twoBytes[2] = {0x05, 0x00};
    key.setRaw("MSMailServerTime", REG_BINARY, twoBytes, 2);
    EXPECT_EQ(loadConfiguration(), 1);
    EXPECT_EQ(app->msMailServerTime, 0x11220005u);
}

TEST_F(Configuration, VersionStoredAsTextFails) {
    key.setText("Version", "12");
    EXPECT_EQ(loadConfiguration(), 0);
}

} // namespace
