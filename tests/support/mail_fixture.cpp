#include "mail_fixture.h"

#include "app/app_state.h"
#include "mail/blink.h"
#include "mail/mail_session.h"
#include "res/resource.h"
#include "wine_test.h"

#include <commctrl.h>
#include <mapix.h>

namespace wt {

MailFixture::~MailFixture() {
    app->mailPending = 0;
    ShowWindow(window, SW_HIDE);
    pumpUntil([] { return runningBlinkThreads() == 0; }, 3000);
    if (IMsgStore* store = app->store.exchange(nullptr))
        store->Release();
    if (IMAPISession* session = app->session.exchange(nullptr))
        session->Release();
    MAPIUninitialize(); // gives back the sinks' registrations; the window goes next
}

int MailFixture::start() {
    return startMailSession();
}

bool MailFixture::waitForSenderLine(const std::string& before, DWORD timeoutMs) {
    return pumpUntil([&] { return senderLine() != before; }, timeoutMs);
}

std::string MailFixture::senderLine() const {
    return windowText(app->senderLabel);
}
std::string MailFixture::subjectLine() const {
    return windowText(app->subjectLabel);
}

std::string MailFixture::preview() const {
    std::string text(size_t(GetWindowTextLengthA(app->previewEdit)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(app->previewEdit, text.data(), int(text.size()))));
    return text;
}

int MailFixture::historyCount() const {
    return int(SendMessageA(app->historyList, LVM_GETITEMCOUNT, 0, 0));
}

std::string MailFixture::historyText(int line, int column) const {
    char text[300] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(app->historyList, LVM_GETITEMTEXTA, line, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<unsigned char> MailFixture::currentEntryId() const {
    return {app->currentEntryId, app->currentEntryId + app->currentEntryIdSize};
}

} // namespace wt
