// The program's state, its notification window and a mail session on a throwaway Maildir
// store of the development kit, in the test's own process.
#pragma once
#include "kit_store.h"
#include "program_window.h"

#include <string>
#include <vector>

namespace wt {

class MailFixture {
public:
    MailFixture() = default; // a kit store with the standard layout; the window; no session yet
    ~MailFixture();          // ends the session, waits for blink threads, removes everything

    // Opens the session as start-up does; its result.
    int start();
    // Delivers a message by the Maildir protocol; its unique name.
    std::string deliver(const std::string& from, const std::string& subject,
                        const std::string& body = "Text", const std::string& folder = {}) {
        return store.deliver(from, subject, body, folder);
    }
    // Pumps messages until the sender line has changed, or the time is up.
    bool waitForSenderLine(const std::string& before, DWORD timeoutMs = 15000);
    std::string senderLine() const;
    std::string subjectLine() const;
    std::string preview() const;
    int historyCount() const;
    std::string historyText(int line, int column) const;
    devkit::Bytes messageId(const std::string& unique, const std::string& folder = {}) const {
        return store.messageId(unique, folder);
    }
    std::vector<unsigned char> currentEntryId() const;

    KitStore store;
    ProgramWindow program;
    devkit::MaildirStore& files = store.files;
    const std::string& inbox = store.inbox;
    HWND window = program.window;
};

} // namespace wt
