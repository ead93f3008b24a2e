// The reader's settings: values under HKEY_CURRENT_USER\Software\MaildirMAPI, the key of the
// store. They are read again for every application object, so a running server follows them.
//   StoreRoot  the store's directory (default %USERPROFILE%\Maildir), as for the provider
//   Faults     calls to fail, as for the provider; the reader's are Application::GetNamespace,
//              NameSpace::Logon, NameSpace::GetItemFromID and MailItem::Display
//   ReaderLog  the file of the call log (default %TEMP%\maildirreader.log)
//   RejectCalls  the number of automation calls to reject, as a busy mail client does, before
//              the reader answers again (see busy_filter.h)
#pragma once
#include <string>

namespace reader {

struct Settings {
    std::wstring storeRoot;
    std::wstring logFile;
    unsigned rejectCalls = 0;
};

const Settings& settings();
// Reads the settings and the fault switches again.
void reloadSettings();

} // namespace reader
