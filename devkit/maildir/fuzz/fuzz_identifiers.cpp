// libFuzzer entry point: arbitrary bytes as entry identifiers (whole, or as the payload of a
// folder's and a message's identifier of this store), as folder names and as the unique part
// of a message file's name. Whatever is accepted must re-encode to the same bytes and name
// nothing outside the store.
#include "entry_id.h"
#include "folder_name.h"
#include "maildir_store.h"
#include "store_path.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace devkit;

constexpr Uid store = {0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xA5};

void require(bool condition) {
    if (!condition)
        std::abort();
}

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return result;
}

// Written apart from the code under test: what Windows would take for a device whatever the
// directory (the part before the first dot, spaces before that dot ignored).
bool namesDevice(std::string_view component) {
    std::string base = upper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$")
        return true;
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    const std::string_view number = std::string_view(base).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// One name of a path that Windows and POSIX both read as a plain name inside its directory.
void requirePlainName(std::string_view name) {
    require(!name.empty() && name != "." && name != "..");
    require(name.back() != '.' && name.back() != ' '); // Windows would drop them
    require(!namesDevice(name));
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        require(byte >= 0x20 && byte != 0x7F);
        require(std::string_view("/\\:*?\"<>|").find(name[i]) == std::string_view::npos);
        // Not UTF-8 that a converter might read another way: no overlong forms (an overlong
        // '.' or '/' starts with C0 or C1), no surrogates, nothing beyond U+10FFFF.
        require(byte != 0xC0 && byte != 0xC1 && byte < 0xF5);
        const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        require(!(byte == 0xED && next >= 0xA0) && !(byte == 0xF4 && next >= 0x90));
    }
}

// A path inside the store, as a folder's identifier may carry it.
void requireInsideStore(std::string_view path) {
    require(path.size() <= kMaxStoreRelativePath);
    if (path.empty())
        return; // the store's root
    require(path.front() != '/' && path.back() != '/');
    size_t start = 0;
    for (size_t slash; (slash = path.find('/', start)) != std::string_view::npos; start = slash + 1)
        requirePlainName(path.substr(start, slash - start));
    requirePlainName(path.substr(start));
}

void checkIdentifier(const Bytes& id) {
    const std::optional<EntryId> entry = parseEntryId(id.data(), id.size(), store);
    if (!entry)
        return;
    switch (entry->kind) {
    case EntryKind::store:
        require(entry->folder.empty() && entry->message.empty());
        require(storeEntryId(store) == id);
        break;
    case EntryKind::folder:
        requireInsideStore(entry->folder);
        require(entry->message.empty());
        require(folderEntryId(store, entry->folder) == id);
        break;
    case EntryKind::message:
        requireInsideStore(entry->folder);
        requirePlainName(entry->message);
        require(entry->message.find_first_of(":;!") == std::string::npos); // the flags' part
        require(messageEntryId(store, entry->folder, entry->message) == id);
        break;
    default:
        require(false);
    }
}

void checkFolderName(std::string_view name) {
    const std::string encoded = encodeFolderName(name);
    // No display name holds a NUL: such a name makes no folder. Every other one comes back.
    const bool holdsNul = name.find('\0') != std::string_view::npos;
    require(holdsNul ? encoded.empty() : decodeFolderName(encoded) == name);
    if (encoded.empty())
        return;
    // A directory name that the store can never mistake for anything but a folder.
    require(encoded.find_first_of("/\\:*?\"<>|") == std::string::npos);
    const std::string asWritten = upper(encoded);
    require(encoded.front() != '.' && asWritten != "CUR" && asWritten != "NEW" &&
            asWritten != "TMP");
    require(encoded.back() != '.' && encoded.back() != ' ');
    require(!namesDevice(encoded));

    for (const std::string_view parent : {"", "IPM_SUBTREE/Inbox"}) {
        const std::optional<std::string> path = childFolderPath(parent, name);
        if (!path)
            continue;
        requireInsideStore(*path);
        require(*path == MaildirStore::join(parent, encoded));
        const Bytes id = folderEntryId(store, *path);
        const std::optional<EntryId> entry = parseEntryId(id.data(), id.size(), store);
        require(entry && entry->folder == *path); // every folder made can be opened
    }
    // The tool's form: display names separated by '/'.
    const std::string path = MaildirStore::pathFromDisplayNames(name);
    if (isSafeRelativePath(path))
        requireInsideStore(path);
}

int hexValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// A message file's unique part and the key it is known by: a name an identifier can carry,
// the name itself or its escaped form, so that no two names share a key.
void checkMessageKey(std::string_view unique) {
    const std::optional<std::string> key = messageKey(unique);
    if (!key)
        return;
    require(isSafeUniqueName(*key));
    requirePlainName(*key);
    std::string decoded;
    for (size_t i = 0; i < key->size(); ++i) {
        if ((*key)[i] != '%') {
            decoded += (*key)[i];
            continue;
        }
        require(i + 2 < key->size() && hexValue((*key)[i + 1]) >= 0 &&
                hexValue((*key)[i + 2]) >= 0);
        decoded += char(hexValue((*key)[i + 1]) * 16 + hexValue((*key)[i + 2]));
        i += 2;
    }
    require(decoded == unique);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkIdentifier(Bytes(data, data + size));
    // The same bytes after the header of a folder's and of a message's identifier of this
    // store, which the fuzzer would otherwise have to guess first.
    Bytes messageHeader = messageEntryId(store, "", "");
    messageHeader.pop_back(); // the 0 byte between folder and message comes from the input
    for (Bytes id : {folderEntryId(store, ""), messageHeader}) {
        id.insert(id.end(), data, data + size);
        checkIdentifier(id);
    }
    checkFolderName(input);
    checkMessageKey(input);
    return 0;
}
