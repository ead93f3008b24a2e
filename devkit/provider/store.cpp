#include "store.h"

#include "allocator.h"
#include "failure_trace.h"
#include "folder.h"
#include "message.h"
#include "msg_store.h"
#include "notifier.h"
#include "header_block.h"
#include "maildir_name.h"
#include "mime_message.h"
#include "utf8.h"

#include <cstdio>

#include <cstring>

namespace maildir {

namespace {

ULONG unicode(ULONG tag) {
    return PROP_TAG(PT_UNICODE, PROP_ID(tag));
}

constexpr ULONG PR_INTERNET_MESSAGE_ID_W = PROP_TAG(PT_UNICODE, 0x1035);  // not in every SDK
constexpr ULONG PR_IPM_APPOINTMENT_ENTRYID = PROP_TAG(PT_BINARY, 0x36D0); // nor this

constexpr char storeDisplayName[] = "Maildir store";

std::string tagKey(ULONG tag) {
    char key[9];
    std::snprintf(key, sizeof key, "%08lX", static_cast<unsigned long>(tag));
    return key;
}

FILETIME fileTimeOf(const devkit::fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Floating times and dates of appointments are the user's wall-clock time.
std::int64_t localWallToUtc(std::int64_t wall) {
    const FILETIME asFileTime = fileTimeFromUnix(wall);
    SYSTEMTIME local, utc;
    FILETIME converted;
    if (!FileTimeToSystemTime(&asFileTime, &local) ||
        !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &converted))
        return wall;
    return unixFromFileTime(converted);
}

// The header section as the file holds it, up to and with the empty line that ends it.
std::string headerSection(std::string_view content) {
    const std::string_view body = devkit::splitEntity(content).body;
    const size_t length = body.data() ? size_t(body.data() - content.data()) : content.size();
    return devkit::sanitizeUtf8(content.substr(0, length));
}

} // namespace

std::int64_t unixNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return unixFromFileTime(now);
}

Store::Store(const std::wstring& root) : files_(devkit::fs::path(root)), calendar_(localWallToUtc) {
    files_.open();
    calendar_.readThrough(&files_);
    calendar_.onPastLimits([](const devkit::CalendarFile& file) {
        traceFailure("calendar item past the limits of its work, served with what was found "
                     "within them: " +
                     file.name);
    });
}

std::optional<devkit::EntryId> Store::parse(ULONG size, const ENTRYID* id) const {
    return devkit::parseEntryId(reinterpret_cast<const std::uint8_t*>(id), size, uid());
}

Properties Store::storeProperties() {
    Properties properties = {
        binaryProperty(PR_ENTRYID, storeId()),
        binaryProperty(PR_STORE_ENTRYID, storeId()),
        binaryProperty(PR_RECORD_KEY, Bytes(uid().begin(), uid().end())),
        binaryProperty(PR_STORE_RECORD_KEY, Bytes(uid().begin(), uid().end())),
        binaryProperty(PR_MDB_PROVIDER,
                       Bytes(devkit::kitProviderUid.begin(), devkit::kitProviderUid.end())),
        textProperty(unicode(PR_DISPLAY_NAME), storeDisplayName),
        longProperty(PR_OBJECT_TYPE, MAPI_STORE),
        longProperty(PR_STORE_SUPPORT_MASK,
                     STORE_ENTRYID_UNIQUE | STORE_MODIFY_OK | STORE_CREATE_OK | STORE_NOTIFY_OK),
    };
    // Properties set by callers, kept in the store's properties file under their tag.
    for (const auto& [key, bytes] : files_.properties()) {
        if (key.size() != 8)
            continue;
        const ULONG tag = std::strtoul(key.c_str(), nullptr, 16);
        switch (PROP_TYPE(tag)) {
        case PT_BINARY:
            properties.push_back(binaryProperty(tag, bytes));
            break;
        case PT_STRING8:
            properties.push_back(
                textProperty(unicode(tag), std::string(bytes.begin(), bytes.end())));
            break;
        case PT_LONG:
        case PT_BOOLEAN:
            if (bytes.size() == 4) {
                LONG value;
                std::memcpy(&value, bytes.data(), 4);
                properties.push_back(PROP_TYPE(tag) == PT_LONG ? longProperty(tag, value)
                                                               : boolProperty(tag, value != 0));
            }
            break;
        }
    }
    return properties;
}

HRESULT Store::setStoreProperty(const SPropValue& value) {
    const ULONG tag = value.ulPropTag;
    Bytes bytes;
    ULONG storedTag = tag;
    switch (PROP_TYPE(tag)) {
    case PT_BINARY:
        bytes.assign(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb);
        break;
    case PT_STRING8: {
        const std::string text = ansiToUtf8(value.Value.lpszA);
        bytes.assign(text.begin(), text.end());
        break;
    }
    case PT_UNICODE: {
        const std::string text = wideToUtf8(value.Value.lpszW);
        bytes.assign(text.begin(), text.end());
        storedTag = PROP_TAG(PT_STRING8, PROP_ID(tag));
        break;
    }
    case PT_LONG:
    case PT_BOOLEAN: {
        const LONG number = PROP_TYPE(tag) == PT_LONG ? value.Value.l : (value.Value.b ? 1 : 0);
        bytes.resize(4);
        std::memcpy(bytes.data(), &number, 4);
        break;
    }
    default:
        return MAPI_E_NO_SUPPORT;
    }
    // Computed properties cannot be changed.
    if (find(Properties{longProperty(PR_OBJECT_TYPE, 0), longProperty(PR_ENTRYID, 0),
                        longProperty(PR_STORE_ENTRYID, 0), longProperty(PR_MDB_PROVIDER, 0),
                        longProperty(PR_RECORD_KEY, 0)},
             tag))
        return MAPI_E_COMPUTED;
    try {
        files_.setProperty(tagKey(storedTag), bytes);
    } catch (const std::exception&) {
        return MAPI_E_DISK_ERROR;
    }
    return S_OK;
}

Properties Store::folderProperties(const std::string& folder) {
    const bool root = folder.empty();
    Properties properties = {
        binaryProperty(PR_ENTRYID, folderId(folder)),
        binaryProperty(PR_RECORD_KEY, folderId(folder)),
        binaryProperty(PR_INSTANCE_KEY, folderId(folder)),
        binaryProperty(PR_STORE_ENTRYID, storeId()),
        binaryProperty(PR_STORE_RECORD_KEY, Bytes(uid().begin(), uid().end())),
        textProperty(unicode(PR_DISPLAY_NAME), root ? "" : files_.displayName(folder)),
        longProperty(PR_OBJECT_TYPE, MAPI_FOLDER),
        longProperty(PR_FOLDER_TYPE, root ? FOLDER_ROOT : FOLDER_GENERIC),
        boolProperty(PR_SUBFOLDERS, !files_.childFolders(folder).empty()),
    };
    if (!root)
        properties.push_back(
            binaryProperty(PR_PARENT_ENTRYID, folderId(devkit::MaildirStore::parentOf(folder))));
    if ((root || folder == files_.receiveFolder()) && files_.isCalendar(calendarFolder))
        properties.push_back(binaryProperty(PR_IPM_APPOINTMENT_ENTRYID, folderId(calendarFolder)));
    if (files_.isCalendar(folder)) {
        properties.push_back(
            longProperty(PR_CONTENT_COUNT, LONG(files_.calendarFiles(folder).size())));
        properties.push_back(longProperty(PR_CONTENT_UNREAD, 0));
        properties.push_back(textProperty(unicode(PR_CONTAINER_CLASS), "IPF.Appointment"));
    } else if (files_.isMaildir(folder)) {
        const auto messages = files_.messages(folder);
        LONG unread = 0;
        for (const auto& message : messages)
            unread += !devkit::hasFlag(message.flags, 'S');
        properties.push_back(longProperty(PR_CONTENT_COUNT, LONG(messages.size())));
        properties.push_back(longProperty(PR_CONTENT_UNREAD, unread));
        properties.push_back(textProperty(unicode(PR_CONTAINER_CLASS), "IPF.Note"));
    } else {
        properties.push_back(longProperty(PR_CONTENT_COUNT, 0));
    }
    return properties;
}

Properties Store::itemIdentity(const std::string& folder, const std::string& name,
                               const char* messageClass) {
    const Bytes id = messageId(folder, name);
    return {
        binaryProperty(PR_ENTRYID, id),
        binaryProperty(PR_RECORD_KEY, id),
        binaryProperty(PR_INSTANCE_KEY, id),
        binaryProperty(PR_STORE_ENTRYID, storeId()),
        binaryProperty(PR_PARENT_ENTRYID, folderId(folder)),
        textProperty(unicode(PR_MESSAGE_CLASS), messageClass),
        longProperty(PR_OBJECT_TYPE, MAPI_MESSAGE),
    };
}

namespace {

ULONG messageFlags(const std::string& flags) {
    return MSGFLAG_UNMODIFIED | (devkit::hasFlag(flags, 'S') ? MSGFLAG_READ : 0);
}

} // namespace

std::vector<ULONG> Store::messageKeyTags() {
    return {PR_ENTRYID, PR_INSTANCE_KEY, PR_MESSAGE_FLAGS};
}

Properties Store::messageKeys(const std::string& folder, const devkit::MessageFile& message) {
    const Bytes id = messageId(folder, message.unique);
    return {binaryProperty(PR_ENTRYID, id), binaryProperty(PR_INSTANCE_KEY, id),
            longProperty(PR_MESSAGE_FLAGS, messageFlags(message.flags))};
}

std::optional<Properties> Store::messageProperties(const std::string& folder,
                                                   const std::string& unique) {
    const auto file = files_.findMessage(folder, unique);
    if (!file)
        return std::nullopt;
    const std::optional<std::string> read = files_.readInside(file->file);
    if (!read)
        return std::nullopt; // gone, held by its writer, not a file, or leading outside
    const std::string& content = *read;
    const devkit::ParsedMessage parsed = devkit::parseMessage(content);
    Properties properties = itemIdentity(folder, unique, "IPM.Note");
    properties.insert(
        properties.end(),
        {
            longProperty(PR_MESSAGE_FLAGS, messageFlags(file->flags)),
            longProperty(PR_MESSAGE_SIZE, LONG(content.size())),
            timeProperty(PR_MESSAGE_DELIVERY_TIME, fileTimeOf(file->file)),
            textProperty(unicode(PR_BODY), parsed.body),
            textProperty(unicode(PR_TRANSPORT_MESSAGE_HEADERS), headerSection(content)),
        });
    if (!parsed.senderName.empty()) {
        properties.push_back(textProperty(unicode(PR_SENDER_NAME), parsed.senderName));
        properties.push_back(textProperty(unicode(PR_SENT_REPRESENTING_NAME), parsed.senderName));
    }
    if (!parsed.senderEmail.empty()) {
        properties.push_back(textProperty(unicode(PR_SENDER_EMAIL_ADDRESS), parsed.senderEmail));
        properties.push_back(textProperty(unicode(PR_SENDER_ADDRTYPE), "SMTP"));
    }
    properties.push_back(textProperty(unicode(PR_SUBJECT), parsed.subject));
    if (parsed.deliveryTime)
        properties.push_back(
            timeProperty(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(*parsed.deliveryTime)));
    if (!parsed.messageId.empty())
        properties.push_back(textProperty(PR_INTERNET_MESSAGE_ID_W, parsed.messageId));
    return properties;
}

std::optional<Properties> Store::appointmentProperties(const std::string& folder,
                                                       const std::string& name, std::int64_t now) {
    const auto file = files_.findCalendarFile(folder, name);
    if (!file)
        return std::nullopt;
    return appointmentProperties(folder, *file, now);
}

std::optional<Properties> Store::appointmentProperties(const std::string& folder,
                                                       const devkit::CalendarFile& file,
                                                       std::int64_t now) {
    const devkit::CalendarItem item = calendar_.load(file, now, reminderLinger);
    if (!item.appointment)
        return std::nullopt;
    return appointmentProperties(folder, item, file.written);
}

namespace {

// A mail client keeps the time of a reminder the user switched off, and clears the flag.
bool reminderSet(const devkit::Reminder& reminder) {
    return reminder.alarm && !reminder.alarm->off;
}

} // namespace

namespace {

void putLittleEndian(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// PidLidTimeZoneStruct: three biases, then the year and SYSTEMTIME of the change to standard
// time and of the change to summer time, little-endian, 48 bytes.
Bytes timeZoneStruct(const devkit::ical::WindowsZoneRules& rules) {
    Bytes out;
    for (int bias : {rules.bias, rules.standardBias, rules.daylightBias})
        putLittleEndian(out, std::uint32_t(bias), 4);
    for (const auto* date : {&rules.standardDate, &rules.daylightDate}) {
        putLittleEndian(out, std::uint32_t(date->year), 2);
        for (int field :
             {date->year, date->month, date->weekday, date->day, date->hour, date->minute, 0, 0})
            putLittleEndian(out, std::uint32_t(field), 2);
    }
    return out;
}

} // namespace

std::vector<ULONG> Store::appointmentKeyTags() {
    return {PR_ENTRYID, PROP_TAG(PT_BOOLEAN, named::reminderSet),
            PROP_TAG(PT_SYSTIME, named::reminderTime)};
}

Properties Store::appointmentKeys(const std::string& folder, const devkit::CalendarItem& item) {
    Properties properties; // one allocation, as there is one row per appointment at every read
    properties.reserve(3);
    properties.push_back(binaryProperty(PR_ENTRYID, messageId(folder, item.name)));
    properties.push_back(
        boolProperty(PROP_TAG(PT_BOOLEAN, named::reminderSet), reminderSet(item.reminder)));
    if (item.reminder.alarm)
        properties.push_back(timeProperty(PROP_TAG(PT_SYSTIME, named::reminderTime),
                                          fileTimeFromUnix(item.reminder.alarm->at)));
    return properties;
}

Properties Store::appointmentProperties(const std::string& folder, const devkit::CalendarItem& item,
                                        std::int64_t written) {
    const devkit::ical::Appointment& appointment = *item.appointment;
    const devkit::Reminder& reminder = item.reminder;
    // The occurrence the reminder is for describes the item: a moved one has its own texts.
    const devkit::ical::Event& event =
        reminder.alarm ? *reminder.alarm->event : appointment.event();
    const std::int64_t start =
        reminder.alarm ? reminder.alarm->start : appointment.toUtc(appointment.event().start);
    Properties properties = itemIdentity(folder, item.name, "IPM.Appointment");
    properties.insert(
        properties.end(),
        {
            longProperty(PR_MESSAGE_FLAGS, MSGFLAG_READ),
            timeProperty(PR_LAST_MODIFICATION_TIME,
                         {DWORD(written), DWORD(std::uint64_t(written) >> 32)}),
            textProperty(unicode(PR_SUBJECT), event.summary),
            timeProperty(PROP_TAG(PT_SYSTIME, named::startWhole), fileTimeFromUnix(start)),
            boolProperty(PROP_TAG(PT_BOOLEAN, named::reminderSet), reminderSet(reminder)),
            boolProperty(PROP_TAG(PT_BOOLEAN, named::recurring),
                         appointment.event().rule.has_value()),
        });
    if (reminder.alarm) {
        properties.push_back(timeProperty(PROP_TAG(PT_SYSTIME, named::reminderTime),
                                          fileTimeFromUnix(reminder.alarm->at)));
        properties.push_back(longProperty(PROP_TAG(PT_LONG, named::reminderDelta),
                                          LONG((start - reminder.alarm->at) / 60)));
    }
    if (!event.location.empty())
        properties.push_back(textProperty(PROP_TAG(PT_UNICODE, named::location), event.location));
    const std::int64_t moment = reminder.alarm ? reminder.alarm->at : start;
    if (auto zone = appointment.zoneDescription(event, moment))
        properties.push_back(textProperty(PROP_TAG(PT_UNICODE, named::timeZoneDescription), *zone));
    if (auto rules = appointment.zoneRules(event, moment))
        properties.push_back(
            binaryProperty(PROP_TAG(PT_BINARY, named::timeZoneStruct), timeZoneStruct(*rules)));
    return properties;
}

HRESULT copyToBuffer(const Bytes& bytes, ULONG* size, ENTRYID** id) {
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(ULONG(bytes.size()), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::memcpy(buffer, bytes.data(), bytes.size());
    *size = ULONG(bytes.size());
    *id = static_cast<ENTRYID*>(buffer);
    return S_OK;
}

HRESULT openEntry(const std::shared_ptr<Store>& store, ULONG size, const ENTRYID* id, ULONG flags,
                  ULONG* objectType, IUnknown** object) {
    Notifier::instance().deliverWaitingInCall();
    if (!object)
        return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    std::string folder;
    if (size || id) {
        const auto entry = store->parse(size, id);
        if (!entry)
            return MAPI_E_INVALID_ENTRYID;
        if (entry->kind == devkit::EntryKind::store) {
            *object = make<MsgStore>(store);
            if (objectType)
                *objectType = MAPI_STORE;
            return *object ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (entry->kind == devkit::EntryKind::message) {
            std::lock_guard guard(store->lock);
            auto properties =
                store->files().isCalendar(entry->folder)
                    ? store->appointmentProperties(entry->folder, entry->message, unixNow())
                    : store->messageProperties(entry->folder, entry->message);
            const bool deferred = flags & MAPI_DEFERRED_ERRORS;
            if (!properties && !deferred)
                return MAPI_E_NOT_FOUND;
            if (properties)
                *object = make<Message>(store, std::move(*properties));
            else
                *object = make<GoneMessage>();
            if (objectType)
                *objectType = MAPI_MESSAGE;
            return *object ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        folder = entry->folder;
    }
    if (!store->files().folderExists(folder))
        return MAPI_E_NOT_FOUND;
    *object = make<Folder>(store, folder);
    if (objectType)
        *objectType = MAPI_FOLDER;
    return *object ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace maildir
