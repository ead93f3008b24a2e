// The kit's settings: values under HKEY_CURRENT_USER\Software\MaildirMAPI, read at
// MAPIInitialize (never while the loader lock is held).
//   StoreRoot  the store's directory (default: %USERPROFILE%\Maildir)
//   Logon      "cancel": MAPILogonEx answers MAPI_E_USER_CANCEL; "fail": MAPI_E_LOGON_FAILED
//   Faults     calls to fail, see faults.h
//   Stores     "empty": the stores table has no row; "nodefault": its one row is not the default
//   Transports mail drops, "name=directory" pairs separated by ';' (see mail_drop.h)
//   Status     "empty": the status table has no row
//   ReminderLinger  seconds an appointment's passed alarm stays its reminder time (default 120)
//   CalendarFolder  the top-level folder that PR_IPM_APPOINTMENT_ENTRYID names (default Calendar)
//   StrictThreads  "off": threads that never initialised MAPI may call it (see threads.h)
//   ForeignThreadCalls  "marshal": calls from other threads wait for the notification thread
//   NameListing "refuse": GetNamesFromIDs without a list of tags is refused (Exchange online)
//   Notifications   "watcher": sinks are called on the store's watcher thread, whatever
//                   MAPIInitialize asked for, as some real providers do
//   NotifyInCalls   "1": OpenEntry, and DeleteMessages with MESSAGE_DIALOG, first deliver what
//                   waits for the calling thread, as MAPI may during any call
#pragma once
#include <string>

namespace maildir {

inline constexpr wchar_t settingsKey[] = L"Software\\MaildirMAPI";

struct Settings {
    std::wstring storeRoot;
    std::wstring logon;
    std::string faults;
    std::wstring stores;
    std::wstring transports;
    std::wstring status;
    long reminderLinger = -1; // -1: the store's default
    std::wstring nameListing;
    std::wstring strictThreads;
    std::wstring foreignThreadCalls;
    std::string calendarFolder; // UTF-8; empty: "Calendar"
    bool notifyOnWatcherThread = false;
    bool notifyInCalls = false;
};

Settings readSettings();

} // namespace maildir
