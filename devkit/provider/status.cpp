#include "status.h"

#include "faults.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace maildir {

namespace {

// Identifies the status identifiers of this kit: "maildir-status.."
constexpr devkit::Uid statusUid = {0x6D, 0x61, 0x69, 0x6C, 0x64, 0x69, 0x72, 0x2D,
                                   0x73, 0x74, 0x61, 0x74, 0x75, 0x73, 0x2E, 0x2E};
constexpr std::uint8_t statusKind = 'T';
constexpr std::uint8_t version = 1;
constexpr size_t headerSize = 4 + 16 + 2 + 16 + 1;

ULONG unicode(ULONG tag) {
    return PROP_TAG(PT_UNICODE, PROP_ID(tag));
}

Bytes statusEntryId(const Store& store, ULONG resourceType, const std::string& name) {
    Bytes id(4, 0);
    id.insert(id.end(), statusUid.begin(), statusUid.end());
    id.push_back(statusKind);
    id.push_back(version);
    id.insert(id.end(), store.uid().begin(), store.uid().end());
    id.push_back(std::uint8_t(resourceType));
    id.insert(id.end(), name.begin(), name.end());
    return id;
}

const MailDrop* findDrop(const std::vector<MailDrop>& drops, const std::string& name) {
    const auto found = std::find_if(drops.begin(), drops.end(),
                                    [&](const MailDrop& drop) { return drop.name == name; });
    return found == drops.end() ? nullptr : &*found;
}

Properties rowProperties(const Store& store, ULONG rowId, ULONG resourceType,
                         const std::string& name, const std::string& provider, LONG methods,
                         LONG statusCode) {
    const Bytes id = statusEntryId(store, resourceType, name);
    return {
        longProperty(PR_ROWID, LONG(rowId)),
        binaryProperty(PR_ENTRYID, id),
        binaryProperty(PR_INSTANCE_KEY, id),
        longProperty(PR_OBJECT_TYPE, MAPI_STATUS),
        longProperty(PR_RESOURCE_TYPE, LONG(resourceType)),
        longProperty(PR_RESOURCE_METHODS, methods),
        longProperty(PR_STATUS_CODE, statusCode),
        textProperty(unicode(PR_DISPLAY_NAME), name),
        textProperty(unicode(PR_PROVIDER_DISPLAY), provider),
    };
}

std::mutex logLock;
std::string log;

void recordFlush(const std::string& name, ULONG flags, HRESULT result) {
    char line[64];
    std::snprintf(line, sizeof line, " 0x%lX 0x%08lX\n", static_cast<unsigned long>(flags),
                  static_cast<unsigned long>(result));
    std::lock_guard guard(logLock);
    log += name + line;
}

} // namespace

std::vector<Properties> statusRows(const Store& store, const std::vector<MailDrop>& drops) {
    std::vector<Properties> rows;
    rows.push_back(rowProperties(store, 0, MAPI_STORE_PROVIDER, "Maildir store",
                                 "Maildir MAPI store", STATUS_VALIDATE_STATE, STATUS_AVAILABLE));
    rows.push_back(rowProperties(store, 1, MAPI_AB, "Address Book", "Maildir MAPI address book",
                                 STATUS_VALIDATE_STATE, STATUS_AVAILABLE));
    rows.push_back(rowProperties(store, 2, MAPI_SPOOLER, "Spooler", "Maildir MAPI spooler",
                                 STATUS_VALIDATE_STATE | STATUS_FLUSH_QUEUES, STATUS_AVAILABLE));
    for (const MailDrop& drop : drops) {
        std::error_code error;
        const LONG code = !devkit::fs::is_directory(drop.directory, error) ? STATUS_OFFLINE
                          : dropRefusal(drop, store.files())               ? STATUS_FAILURE
                                                                           : STATUS_AVAILABLE;
        rows.push_back(rowProperties(store, ULONG(rows.size()), MAPI_TRANSPORT_PROVIDER, drop.name,
                                     "Maildir mail drop",
                                     STATUS_VALIDATE_STATE | STATUS_FLUSH_QUEUES, code));
    }
    return rows;
}

std::optional<StatusId> parseStatusId(const Store& store, const std::vector<MailDrop>& drops,
                                      ULONG size, const ENTRYID* id) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(id);
    if (!data || size < headerSize || size > devkit::maxEntryIdSize)
        return std::nullopt;
    if (data[0] || data[1] || data[2] || data[3] ||
        std::memcmp(data + 4, statusUid.data(), 16) != 0 || data[20] != statusKind ||
        data[21] != version || std::memcmp(data + 22, store.uid().data(), 16) != 0)
        return std::nullopt;
    StatusId row{data[38],
                 std::string(reinterpret_cast<const char*>(data) + headerSize, size - headerSize)};
    switch (row.resourceType) {
    case MAPI_STORE_PROVIDER:
    case MAPI_AB:
    case MAPI_SPOOLER:
        if (row.name.empty())
            return std::nullopt;
        return row;
    case MAPI_TRANSPORT_PROVIDER:
        if (!findDrop(drops, row.name))
            return std::nullopt;
        return row;
    }
    return std::nullopt;
}

HRESULT openStatus(const std::shared_ptr<Store>& store, const MailDrops& drops, const StatusId& row,
                   ULONG* objectType, IUnknown** object) {
    if (!object)
        return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    for (Properties& properties : statusRows(*store, *drops)) {
        const Property* type = find(properties, PR_RESOURCE_TYPE);
        const Property* name = find(properties, PR_DISPLAY_NAME);
        if (ULONG(std::get<LONG>(type->value)) != row.resourceType ||
            std::get<std::string>(name->value) != row.name)
            continue;
        *object = make<Status>(store, drops, row, std::move(properties));
        if (objectType)
            *objectType = MAPI_STATUS;
        return *object ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
    }
    return MAPI_E_NOT_FOUND;
}

STDMETHODIMP Status::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                              LPSPropValue* values) {
    MAILDIR_FAULT_POINT("IMAPIStatus::GetProps");
    return getProps(properties_, tags, flags, count, values);
}

STDMETHODIMP Status::ValidateState(ULONG, ULONG) {
    return S_OK;
}

STDMETHODIMP Status::FlushQueues(ULONG, ULONG targetSize, LPENTRYID target, ULONG flags) {
    const HRESULT result = flush(targetSize, target, flags);
    recordFlush(row_.name, flags, result);
    return result;
}

HRESULT Status::flush(ULONG targetSize, const ENTRYID* target, ULONG flags) {
    MAILDIR_FAULT_POINT("IMAPIStatus::FlushQueues");
    if (row_.resourceType == MAPI_TRANSPORT_PROVIDER) {
        const MailDrop* drop = findDrop(*drops_, row_.name);
        return drop ? flushMailDrop(*drop, store_->files(), flags) : MAPI_E_NOT_FOUND;
    }
    if (row_.resourceType != MAPI_SPOOLER)
        return MAPI_E_NO_SUPPORT;
    if (targetSize || target) {
        const auto named = parseStatusId(*store_, *drops_, targetSize, target);
        if (!named || named->resourceType != MAPI_TRANSPORT_PROVIDER)
            return MAPI_E_INVALID_ENTRYID;
        return flushMailDrop(*findDrop(*drops_, named->name), store_->files(), flags);
    }
    // Every transport, in order; one that fails does not keep the others from delivering.
    HRESULT first = S_OK;
    for (const MailDrop& drop : *drops_)
        if (const HRESULT result = flushMailDrop(drop, store_->files(), flags);
            FAILED(result) && SUCCEEDED(first))
            first = result;
    return first;
}

std::string flushLog() {
    std::lock_guard guard(logLock);
    return log;
}

void clearFlushLog() {
    std::lock_guard guard(logLock);
    log.clear();
}

} // namespace maildir
