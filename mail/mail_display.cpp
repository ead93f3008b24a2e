#include "mail_display.h"

#include "app/app_state.h"
#include "mail_message.h"
#include "notification_text.h"

#include <cstring>

namespace {

// The six properties of a mail shown, in the order they are read.
constexpr ULONG displayTags[] = {PR_SENDER_NAME, PR_SUBJECT,       PR_BODY,
                                 PR_ENTRYID,     PR_STORE_ENTRYID, PR_PARENT_ENTRYID};

std::string boundedText(const char* text, size_t capacity) {
    std::string copy(capacity, '\0');
    boundedCopy(copy.data(), capacity, text);
    copy.resize(std::strlen(copy.c_str()));
    return copy;
}

std::vector<BYTE> bytesOf(const SBinary* value) {
    if (!value || !value->lpb)
        return {};
    return {value->lpb, value->lpb + value->cb};
}

void replaceIdentifier(BYTE*& buffer, uint32_t& size, const std::vector<BYTE>& value) {
    delete[] buffer;
    size = uint32_t(value.size());
    buffer = new BYTE[size ? size : 1];
    if (size)
        std::memcpy(buffer, value.data(), size);
}

} // namespace

bool readMailForDisplay(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId,
                        MailForDisplay& mail) {
    OpenedMail message;
    if (!message.open(store, entryIdSize, entryId) || FAILED(message.read(displayTags)))
        return false;
    MailForDisplay read;
    read.sender = boundedText(textOf(message[0], PR_SENDER_NAME), historyTextCapacity);
    read.subject = boundedText(textOf(message[1], PR_SUBJECT), historyTextCapacity);
    read.body = needsStream(message[2], PR_BODY)
                    ? message.readText(PR_BODY, bodyCopyLimit)
                    : boundedText(textOf(message[2], PR_BODY), bodyCopyLimit);
    const SBinary opened{entryIdSize, const_cast<BYTE*>(entryId)};
    const SBinary* own = binaryOf(message[3], PR_ENTRYID);
    read.entryId = bytesOf(own ? own : &opened);
    read.storeId = bytesOf(binaryOf(message[4], PR_STORE_ENTRYID));
    read.folderId = bytesOf(binaryOf(message[5], PR_PARENT_ENTRYID));
    mail = std::move(read);
    return true;
}

void showMail(const MailForDisplay& mail, const std::string& senderLine) {
    replaceIdentifier(app->currentEntryId, app->currentEntryIdSize, mail.entryId);
    replaceIdentifier(app->currentStoreId, app->currentStoreIdSize, mail.storeId);
    replaceIdentifier(app->currentFolderId, app->currentFolderIdSize, mail.folderId);
    SetWindowTextA(app->senderLabel, senderLine.c_str());
    SetWindowTextA(app->subjectLabel, mail.subject.c_str());
    SetWindowTextA(app->previewEdit, mail.body.c_str());
}
