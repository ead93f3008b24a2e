// One mail read for display: the texts the window shows and the identifiers that Read now and
// Delete act on, read together so that they always belong to the same mail.
#pragma once
#include <windows.h>
#include <mapidefs.h>

#include <string>
#include <vector>

struct MailForDisplay {
    std::string sender;  // at most 255 characters
    std::string subject; // at most 255 characters
    std::string body;    // at most 4089 characters: the preview
    std::vector<BYTE> entryId;
    std::vector<BYTE> storeId;  // empty when the store does not give it
    std::vector<BYTE> folderId; // empty when the store does not give it
};

// Opens the mail through `store` and reads it. False, leaving `mail` as it was, when the mail
// cannot be opened or read. A text the store cannot give stays empty; a mail without its own
// entry identifier keeps the one it was opened by.
bool readMailForDisplay(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId,
                        MailForDisplay& mail);

// Makes the mail the mail now shown: its three identifiers replace those in the record, and the
// window shows the sender line given, the mail's subject and its preview. The caller holds the
// window's drawing (BatchedPaint) around it.
void showMail(const MailForDisplay& mail, const std::string& senderLine);
