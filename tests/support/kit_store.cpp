#include "kit_store.h"

#include "mapi_test_support.h"

#include <stdexcept>

namespace wt {

KitStore::KitStore() : files(kit::temporaryStoreRoot(L"tavinel-store-")) {
    files.createStandardLayout();
    kit::setSetting(L"StoreRoot", files.root());
    setFaults({});
    setLogon({});
    setStores({});
}

KitStore::~KitStore() {
    setFaults({});
    setLogon({});
    setStores({});
    setTransports({});
    setStatus({});
    setNameListing({});
    kit::setSetting(L"CalendarFolder", {});
    setNotifications({});
    setNotifyInCalls(false);
    std::error_code ignored;
    devkit::fs::remove_all(files.root(), ignored);
}

void KitStore::setFaults(const std::string& faults) {
    kit::setSetting(L"Faults", faults);
}
void KitStore::setLogon(const std::string& logon) {
    kit::setSetting(L"Logon", logon);
}
void KitStore::setStores(const std::string& stores) {
    kit::setSetting(L"Stores", stores);
}

void KitStore::setTransports(const std::wstring& transports) {
    kit::setSetting(L"Transports", transports);
}
void KitStore::setStatus(const std::string& status) {
    kit::setSetting(L"Status", status);
}

void KitStore::setNameListing(const std::string& listing) {
    kit::setSetting(L"NameListing", listing);
}

void KitStore::renameCalendar(const std::string& name) {
    const std::string renamed = devkit::MaildirStore::pathFromDisplayNames("IPM_SUBTREE/" + name);
    devkit::fs::rename(files.directory(calendar), files.directory(renamed));
    calendar = renamed;
    kit::setSetting(L"CalendarFolder", name);
}

void KitStore::setNotifications(const std::string& where) {
    kit::setSetting(L"Notifications", where);
}
void KitStore::setNotifyInCalls(bool on) {
    kit::setSetting(L"NotifyInCalls", on ? "1" : "");
}

void KitStore::dropIpmSubtree() {
    devkit::fs::remove(files.root() / devkit::propertiesFile);
    files.open();
}

std::string KitStore::deliver(const std::string& from, const std::string& subject,
                              const std::string& body, const std::string& folder) {
    return files.deliver(folder.empty() ? inbox : folder,
                         devkit::composeMessage(from, "", subject, body, 0));
}

devkit::Bytes KitStore::messageId(const std::string& unique, const std::string& folder) const {
    return devkit::messageEntryId(files.uid(), folder.empty() ? inbox : folder, unique);
}

std::string KitStore::addAppointment(const devkit::NewAppointment& appointment,
                                     const std::string& name) {
    std::string error;
    const auto text = devkit::composeAppointment(appointment, error);
    if (!text)
        throw std::invalid_argument(error);
    return files.putCalendarFile(calendar, *text, name);
}

void KitStore::removeAppointment(const std::string& name) {
    files.deleteCalendarFile(calendar, name);
}

devkit::Bytes KitStore::appointmentId(const std::string& name) const {
    return devkit::messageEntryId(files.uid(), calendar, name);
}

devkit::Bytes KitStore::calendarId() const {
    return devkit::folderEntryId(files.uid(), calendar);
}

} // namespace wt
