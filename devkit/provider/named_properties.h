// Named properties: the store maps each (property set, name) to a property id of its own, from
// 0x8000 up. The names the kit itself gives values to come first, in a fixed order, so their
// ids never change; names that callers create are kept in the store's properties file. As in
// real stores, the same numeric name occurs in several property sets.
#pragma once
#include "mapi.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace devkit {
class MaildirStore;
}

namespace maildir {

// The store's ids of the names the kit gives values to.
namespace named {
inline constexpr ULONG reminderSet = 0x8001;         // PSETID_Common 0x8503, PT_BOOLEAN
inline constexpr ULONG reminderDelta = 0x8002;       // PSETID_Common 0x8501, PT_LONG
inline constexpr ULONG reminderTime = 0x8003;        // PSETID_Common 0x8560, PT_SYSTIME
inline constexpr ULONG startWhole = 0x8004;          // PSETID_Appointment 0x820D, PT_SYSTIME
inline constexpr ULONG endWhole = 0x8005;            // PSETID_Appointment 0x820E, PT_SYSTIME
inline constexpr ULONG location = 0x8006;            // PSETID_Appointment 0x8208, PT_UNICODE
inline constexpr ULONG timeZoneDescription = 0x8007; // PSETID_Appointment 0x8234, PT_UNICODE
inline constexpr ULONG recurring = 0x8008;           // PSETID_Appointment 0x8223, PT_BOOLEAN
inline constexpr ULONG timeZoneStruct = 0x800C;      // PSETID_Appointment 0x8233, PT_BINARY
} // namespace named

struct PropertyName {
    GUID set;
    ULONG kind; // MNID_ID or MNID_STRING
    LONG id;
    std::wstring name;
};

class NamedProperties {
public:
    explicit NamedProperties(devkit::MaildirStore& files);

    // The property id of a name; with `create`, a new one for a name not known yet.
    std::optional<ULONG> idOf(const MAPINAMEID& name, bool create);
    std::optional<PropertyName> nameOf(ULONG id);
    // Every name, in the order of their ids.
    std::vector<std::pair<ULONG, PropertyName>> all();

    // Setting "NameListing" = "refuse": GetNamesFromIDs without a list of tags answers
    // MAPI_E_NO_SUPPORT, as Exchange does for a profile in online mode.
    std::atomic<bool> refuseListing{false};

private:
    devkit::MaildirStore& files_;
    std::mutex lock_;
    std::vector<PropertyName> names_; // names_[i] has the id 0x8000 + i
};

// IMAPIProp::GetIDsFromNames and GetNamesFromIDs over a store's names.
HRESULT getIDsFromNames(NamedProperties& names, ULONG count, LPMAPINAMEID* wanted, ULONG flags,
                        LPSPropTagArray* tags);
HRESULT getNamesFromIDs(NamedProperties& names, LPSPropTagArray* tags, LPGUID set, ULONG flags,
                        ULONG* count, LPMAPINAMEID** found);

} // namespace maildir
