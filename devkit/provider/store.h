// The store behind the MAPI objects: one Maildir tree, shared by every object opened on it.
#pragma once
#include "calendar_items.h"
#include "calendar_lists.h"
#include "mapi.h"
#include "maildir_store.h"
#include "named_properties.h"
#include "properties.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace maildir {

class Store {
public:
    explicit Store(const std::wstring& root);

    devkit::MaildirStore& files() { return files_; }
    const devkit::MaildirStore& files() const { return files_; }
    const devkit::Uid& uid() const { return files_.uid(); }
    Bytes storeId() const { return devkit::storeEntryId(uid()); }
    Bytes folderId(const std::string& folder) const { return devkit::folderEntryId(uid(), folder); }
    Bytes messageId(const std::string& folder, const std::string& unique) const {
        return devkit::messageEntryId(uid(), folder, unique);
    }
    std::optional<devkit::EntryId> parse(ULONG size, const ENTRYID* id) const;

    Properties storeProperties();
    HRESULT setStoreProperty(const SPropValue& value);
    Properties folderProperties(const std::string& folder);
    // A message's properties, parsed from its file; nothing when the message is gone.
    std::optional<Properties> messageProperties(const std::string& folder,
                                                const std::string& unique);
    // The few of them known without reading the file: its identifiers and flags.
    Properties messageKeys(const std::string& folder, const devkit::MessageFile& message);
    static std::vector<ULONG> messageKeyTags();
    // An appointment's properties at the moment `now` (seconds since 1970, UTC); nothing when
    // its file is gone or cannot be read as an appointment.
    std::optional<Properties> appointmentProperties(const std::string& folder,
                                                    const devkit::CalendarFile& file,
                                                    std::int64_t now);
    std::optional<Properties> appointmentProperties(const std::string& folder,
                                                    const std::string& name, std::int64_t now);
    // Those of a loaded appointment (with its reminder), whose file was last written at
    // `written` (a FILETIME's 100 ns units).
    Properties appointmentProperties(const std::string& folder, const devkit::CalendarItem& item,
                                     std::int64_t written);
    // The few of them that a reminder program restricts and sorts on: its identifier, whether
    // it has a reminder and when.
    Properties appointmentKeys(const std::string& folder, const devkit::CalendarItem& item);
    static std::vector<ULONG> appointmentKeyTags();
    devkit::CalendarItems& calendar() { return calendar_; }
    CalendarLists& calendarLists() { return calendarLists_; }
    NamedProperties& names() { return names_; }

    std::mutex lock; // the files are shared by the main thread and the notification thread
    std::int64_t reminderLinger = devkit::kReminderLinger;
    // The calendar folder that the root folder and the Inbox name in PR_IPM_APPOINTMENT_ENTRYID,
    // as real stores do: the top-level folder named by the setting "CalendarFolder".
    std::string calendarFolder =
        devkit::MaildirStore::join(devkit::ipmSubtreeName, devkit::calendarFolderName);

private:
    // What every item of a folder says of where it stands: its identifiers, store, folder, class.
    Properties itemIdentity(const std::string& folder, const std::string& name,
                            const char* messageClass);

    devkit::MaildirStore files_;
    devkit::CalendarItems calendar_;
    CalendarLists calendarLists_;
    NamedProperties names_{files_};
};

// The present moment, in seconds since 1970 UTC.
std::int64_t unixNow();

// Opens a store, folder or message of `store` by identifier: no identifier is the root folder.
// With MAPI_DEFERRED_ERRORS a mail or calendar item that is gone opens, as real stores defer the
// lookup: the object answers MAPI_E_NOT_FOUND to its first call (and every other).
HRESULT openEntry(const std::shared_ptr<Store>& store, ULONG size, const ENTRYID* id, ULONG flags,
                  ULONG* objectType, IUnknown** object);

HRESULT copyToBuffer(const Bytes& bytes, ULONG* size, ENTRYID** id);

} // namespace maildir
