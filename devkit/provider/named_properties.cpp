#include "named_properties.h"

#include "allocator.h"
#include "maildir_store.h"

#include <cstdio>
#include <cstring>

namespace maildir {

namespace {

constexpr GUID commonSet = {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID appointmentSet = {0x00062002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID taskSet = {0x00062003, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID addressSet = {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID publicStrings = {0x00020329, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

constexpr ULONG firstId = 0x8000;
constexpr ULONG lastId = 0xFFFE;

// In id order from 0x8000: see the constants in the header. The three before the last share
// their numbers with the reminder time, the location and the time-zone description but belong
// to other sets, as in stores that have seen tasks and contacts.
std::vector<PropertyName> builtInNames() {
    return {
        {publicStrings, MNID_STRING, 0, L"Keywords"},
        {commonSet, MNID_ID, 0x8503, {}},
        {commonSet, MNID_ID, 0x8501, {}},
        {commonSet, MNID_ID, 0x8560, {}},
        {appointmentSet, MNID_ID, 0x820D, {}},
        {appointmentSet, MNID_ID, 0x820E, {}},
        {appointmentSet, MNID_ID, 0x8208, {}},
        {appointmentSet, MNID_ID, 0x8234, {}},
        {appointmentSet, MNID_ID, 0x8223, {}},
        {taskSet, MNID_ID, 0x8560, {}},
        {addressSet, MNID_ID, 0x8208, {}},
        {addressSet, MNID_ID, 0x8234, {}},
        {appointmentSet, MNID_ID, 0x8233, {}},
    };
}

bool sameName(const PropertyName& known, const MAPINAMEID& name) {
    if (!name.lpguid || !IsEqualGUID(known.set, *name.lpguid) || known.kind != name.ulKind)
        return false;
    if (name.ulKind == MNID_ID)
        return known.id == name.Kind.lID;
    return name.Kind.lpwstrName && known.name == name.Kind.lpwstrName;
}

// Created names are kept as "named-NNNN" = GUID, kind, id and name in UTF-16.
std::string storedKey(ULONG id) {
    char key[16];
    std::snprintf(key, sizeof key, "named-%04lX", static_cast<unsigned long>(id));
    return key;
}

devkit::Bytes serialised(const PropertyName& name) {
    const size_t text = name.name.size() * sizeof(wchar_t);
    devkit::Bytes bytes(sizeof(GUID) + 8 + text);
    std::memcpy(bytes.data(), &name.set, sizeof(GUID));
    std::memcpy(bytes.data() + sizeof(GUID), &name.kind, 4);
    std::memcpy(bytes.data() + sizeof(GUID) + 4, &name.id, 4);
    if (text)
        std::memcpy(bytes.data() + sizeof(GUID) + 8, name.name.data(), text);
    return bytes;
}

std::optional<PropertyName> deserialised(const devkit::Bytes& bytes) {
    if (bytes.size() < sizeof(GUID) + 8 || (bytes.size() - sizeof(GUID) - 8) % sizeof(wchar_t))
        return std::nullopt;
    PropertyName name;
    std::memcpy(&name.set, bytes.data(), sizeof(GUID));
    std::memcpy(&name.kind, bytes.data() + sizeof(GUID), 4);
    std::memcpy(&name.id, bytes.data() + sizeof(GUID) + 4, 4);
    name.name.resize((bytes.size() - sizeof(GUID) - 8) / sizeof(wchar_t));
    std::memcpy(name.name.data(), bytes.data() + sizeof(GUID) + 8, bytes.size() - sizeof(GUID) - 8);
    if (name.kind != MNID_ID && name.kind != MNID_STRING)
        return std::nullopt;
    return name;
}

} // namespace

NamedProperties::NamedProperties(devkit::MaildirStore& files)
    : files_(files), names_(builtInNames()) {
    const auto stored = files_.properties();
    for (ULONG id = firstId + ULONG(names_.size());; ++id) {
        auto found = stored.find(storedKey(id));
        if (found == stored.end())
            break;
        auto name = deserialised(found->second);
        if (!name)
            break;
        names_.push_back(std::move(*name));
    }
}

std::optional<ULONG> NamedProperties::idOf(const MAPINAMEID& name, bool create) {
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < names_.size(); ++i)
        if (sameName(names_[i], name))
            return firstId + ULONG(i);
    if (!create || !name.lpguid || (name.ulKind != MNID_ID && name.ulKind != MNID_STRING) ||
        (name.ulKind == MNID_STRING && (!name.Kind.lpwstrName || !*name.Kind.lpwstrName)) ||
        firstId + names_.size() > lastId)
        return std::nullopt;
    PropertyName added{*name.lpguid, name.ulKind, name.ulKind == MNID_ID ? name.Kind.lID : 0,
                       name.ulKind == MNID_STRING ? name.Kind.lpwstrName : L""};
    const ULONG id = firstId + ULONG(names_.size());
    try {
        files_.setProperty(storedKey(id), serialised(added));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    names_.push_back(std::move(added));
    return id;
}

std::optional<PropertyName> NamedProperties::nameOf(ULONG id) {
    std::lock_guard guard(lock_);
    if (id < firstId || id - firstId >= names_.size())
        return std::nullopt;
    return names_[id - firstId];
}

std::vector<std::pair<ULONG, PropertyName>> NamedProperties::all() {
    std::lock_guard guard(lock_);
    std::vector<std::pair<ULONG, PropertyName>> result;
    for (size_t i = 0; i < names_.size(); ++i)
        result.emplace_back(firstId + ULONG(i), names_[i]);
    return result;
}

HRESULT getIDsFromNames(NamedProperties& names, ULONG count, LPMAPINAMEID* wanted, ULONG flags,
                        LPSPropTagArray* tags) {
    if (!tags || (count && !wanted))
        return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    std::vector<ULONG> result;
    bool missing = false;
    if (!wanted) { // no names: every id the store has given
        for (const auto& [id, name] : names.all())
            result.push_back(PROP_TAG(PT_UNSPECIFIED, id));
    } else {
        for (ULONG i = 0; i < count; ++i) {
            const auto id = wanted[i] ? names.idOf(*wanted[i], flags & MAPI_CREATE) : std::nullopt;
            missing |= !id;
            result.push_back(id ? PROP_TAG(PT_UNSPECIFIED, *id) : PROP_TAG(PT_ERROR, 0));
        }
    }
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(CbNewSPropTagArray(result.empty() ? 1 : result.size()), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<SPropTagArray*>(buffer);
    array->cValues = ULONG(result.size());
    std::copy(result.begin(), result.end(), array->aulPropTag);
    *tags = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT getNamesFromIDs(NamedProperties& names, LPSPropTagArray* tags, LPGUID set, ULONG,
                        ULONG* count, LPMAPINAMEID** found) {
    if (!tags || !count || !found)
        return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *found = nullptr;
    std::vector<std::optional<PropertyName>> result;
    std::vector<ULONG> ids;
    const bool everything = !*tags;
    if (everything && names.refuseListing)
        return MAPI_E_NO_SUPPORT;
    if (everything) { // no list: every name of the store (of one set, when one is given)
        for (auto& [id, name] : names.all())
            if (!set || IsEqualGUID(*set, name.set)) {
                ids.push_back(PROP_TAG(PT_UNSPECIFIED, id));
                result.push_back(std::move(name));
            }
    } else {
        for (ULONG i = 0; i < (*tags)->cValues; ++i) {
            auto name = names.nameOf(PROP_ID((*tags)->aulPropTag[i]));
            if (name && set && !IsEqualGUID(*set, name->set))
                name.reset();
            result.push_back(std::move(name));
        }
    }
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(ULONG(sizeof(LPMAPINAMEID) * (result.empty() ? 1 : result.size())),
                              &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<LPMAPINAMEID*>(buffer);
    bool missing = false;
    for (size_t i = 0; i < result.size(); ++i) {
        array[i] = nullptr;
        if (!result[i]) {
            missing = true;
            continue;
        }
        const PropertyName& name = *result[i];
        void* block = nullptr;
        const size_t text = name.kind == MNID_STRING ? (name.name.size() + 1) * sizeof(wchar_t) : 0;
        if (FAILED(allocateMore(ULONG(sizeof(MAPINAMEID) + sizeof(GUID) + text), buffer, &block))) {
            freeBuffer(buffer);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* entry = static_cast<MAPINAMEID*>(block);
        auto* guid = reinterpret_cast<GUID*>(entry + 1);
        *guid = name.set;
        entry->lpguid = guid;
        entry->ulKind = name.kind;
        if (name.kind == MNID_ID) {
            entry->Kind.lID = name.id;
        } else {
            auto* copy = reinterpret_cast<wchar_t*>(guid + 1);
            std::memcpy(copy, name.name.c_str(), text);
            entry->Kind.lpwstrName = copy;
        }
        array[i] = entry;
    }
    if (everything) {
        void* tagBuffer = nullptr;
        if (FAILED(allocateBuffer(CbNewSPropTagArray(ids.empty() ? 1 : ids.size()), &tagBuffer))) {
            freeBuffer(buffer);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* tagArray = static_cast<SPropTagArray*>(tagBuffer);
        tagArray->cValues = ULONG(ids.size());
        std::copy(ids.begin(), ids.end(), tagArray->aulPropTag);
        *tags = tagArray;
    }
    *count = ULONG(result.size());
    *found = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace maildir
