// A throwaway Maildir store of the development kit, made the store that MAPI logs on to, with
// the kit's fault and logon switches.
#pragma once
#include "calendar_items.h"
#include "maildir_store.h"

#include <string>

namespace wt {

class KitStore {
public:
    KitStore();  // the standard layout, and the kit's settings pointing at it
    ~KitStore(); // removes the store and clears the switches
    KitStore(const KitStore&) = delete;
    KitStore& operator=(const KitStore&) = delete;

    void setFaults(const std::string& faults);
    void setLogon(const std::string& logon);   // "cancel", "fail" or empty
    void setStores(const std::string& stores); // "empty", "nodefault" or empty
    // Mail drops, "name=directory;..."; "empty" status: a status table without rows.
    void setTransports(const std::wstring& transports);
    void setStatus(const std::string& status);
    // "refuse": GetNamesFromIDs without a list fails, as on Exchange online; read at logon.
    void setNameListing(const std::string& listing);
    // "watcher": sinks are called on the store's own thread.
    void setNotifications(const std::string& where);
    // On: OpenEntry, and DeleteMessages with its dialog, deliver what waits for the caller.
    void setNotifyInCalls(bool on);
    // Forgets the IPM subtree property, as a store that never had one.
    void dropIpmSubtree();

    std::string deliver(const std::string& from, const std::string& subject,
                        const std::string& body = "Text", const std::string& folder = {});
    devkit::Bytes messageId(const std::string& unique, const std::string& folder = {}) const;

    // Appointments of the calendar folder, written as the kit's tool writes them; the name of
    // the item's file.
    std::string addAppointment(const devkit::NewAppointment& appointment,
                               const std::string& name = {});
    void removeAppointment(const std::string& name);
    devkit::Bytes appointmentId(const std::string& name) const;
    devkit::Bytes calendarId() const;

    devkit::MaildirStore files;
    // Gives the calendar folder another name, as a localized mailbox has it, and tells the kit
    // ("CalendarFolder") to name it in the store's PR_IPM_APPOINTMENT_ENTRYID.
    void renameCalendar(const std::string& name);

    std::string calendar = "IPM_SUBTREE/Calendar";
    const std::string inbox = "IPM_SUBTREE/Inbox";
};

} // namespace wt
