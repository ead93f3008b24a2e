// The session's status table and its status objects, with the rows a profile usually has: the
// store, the address book, the spooler and one transport per mail drop.
//
// A status identifier: 4 flag bytes (0), the kit's status UID, 'T', a version byte, then the
// store's UID, the row's resource type and, for a transport, its name. A transport is found by
// its name among the configured drops, so an identifier never names a directory itself.
#pragma once
#include "defaults.h"
#include "mail_drop.h"
#include "store.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace maildir {

using MailDrops = std::shared_ptr<const std::vector<MailDrop>>;

// The rows of the status table, in table order.
std::vector<Properties> statusRows(const Store& store, const std::vector<MailDrop>& drops);

struct StatusId {
    ULONG resourceType; // MAPI_STORE_PROVIDER, MAPI_AB, MAPI_SPOOLER or MAPI_TRANSPORT_PROVIDER
    std::string name;   // the drop's name, for a transport
};
// The identifier's row when it is well formed, of this store, and names a row of the table.
std::optional<StatusId> parseStatusId(const Store& store, const std::vector<MailDrop>& drops,
                                      ULONG size, const ENTRYID* id);

class Status final : public StatusDefaults {
public:
    Status(std::shared_ptr<Store> store, MailDrops drops, StatusId row, Properties properties)
        : store_(std::move(store)), drops_(std::move(drops)), row_(std::move(row)),
          properties_(std::move(properties)) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                          LPSPropValue* values) override;
    STDMETHODIMP ValidateState(ULONG uiParam, ULONG flags) override;
    // The spooler flushes every transport (or the one named), a transport its mail drop.
    STDMETHODIMP FlushQueues(ULONG uiParam, ULONG targetSize, LPENTRYID target,
                             ULONG flags) override;

private:
    bool answers(REFIID iid) const override {
        return oneOf(iid, {&IID_IMAPIStatus, &IID_IMAPIProp});
    }
    HRESULT flush(ULONG targetSize, const ENTRYID* target, ULONG flags);

    std::shared_ptr<Store> store_;
    MailDrops drops_;
    StatusId row_;
    Properties properties_;
};

// Opens the status object of an identifier that parseStatusId accepted.
HRESULT openStatus(const std::shared_ptr<Store>& store, const MailDrops& drops, const StatusId& row,
                   ULONG* objectType, IUnknown** object);

// Every FlushQueues call since MAPI was first initialised, one line each:
// "NAME 0xFLAGS 0xRESULT" (flags and result in upper-case hexadecimal, 8 digits for the result).
std::string flushLog();
void clearFlushLog();

} // namespace maildir
