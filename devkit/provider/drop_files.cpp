#include "drop_files.h"

#include "store_boundary.h"

#include <algorithm>
#include <cstring>

namespace maildir {

namespace fs = devkit::fs;

namespace {

// The file's identity on its volume, as a directory listing gives it. Not through
// GetFileInformationByHandle: under Wine it asks for the volume too, which costs a millisecond.
std::uint64_t fileIndex(HANDLE handle) {
    using Query = LONG(WINAPI*)(HANDLE, void*, void*, ULONG, int);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr int fileInternalInformation = 6;
    ULONG_PTR status[2] = {};
    LARGE_INTEGER index{};
    if (!query || query(handle, status, &index, sizeof index, fileInternalInformation) < 0)
        return 0;
    return std::uint64_t(index.QuadPart);
}

} // namespace

std::vector<ListedFile> listFiles(const fs::path& directory) {
    std::vector<ListedFile> files;
    HANDLE handle = CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return files;
    // The listing that gives each file's identity along with its names.
    std::vector<std::uint64_t> buffer(8192);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle, kind, buffer.data(),
                                        DWORD(buffer.size() * sizeof buffer[0]))) {
        kind = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(WCHAR));
            const std::wstring shortName(entry->ShortName, entry->ShortNameLength / sizeof(WCHAR));
            if (!name.empty() && name[0] != L'.' &&
                (!devkit::opensOnlyByShortName(name) || !shortName.empty())) {
                const DWORD attributes = entry->FileAttributes;
                files.push_back(
                    {name, directory / (devkit::opensOnlyByShortName(name) ? shortName : name),
                     std::uint64_t(entry->FileId.QuadPart),
                     (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
            }
            if (!entry->NextEntryOffset)
                break;
            bytes += entry->NextEntryOffset;
        }
    }
    CloseHandle(handle);
    return files;
}

DropFile DropFile::open(const ListedFile& file, const fs::path& finalDirectory) {
    // With FILE_FLAG_OPEN_REPARSE_POINT, Windows opens a link itself; Wine opens what it leads
    // to, whose final path then lies elsewhere. Either way nothing is followed unnoticed.
    HANDLE handle =
        CreateFileW(file.path.c_str(), GENERIC_READ | DELETE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        if (error == ERROR_ACCESS_DENIED && (GetFileAttributesW(file.path.c_str()) &
                                             FILE_ATTRIBUTE_DIRECTORY) == FILE_ATTRIBUTE_DIRECTORY)
            return DropFile(handle, Refusal::special, error); // a directory since the listing
        return DropFile(handle, gone ? Refusal::gone : Refusal::busy, error);
    }
    DropFile opened(handle, Refusal::none, ERROR_SUCCESS);
    opened.expected_ = finalDirectory / file.name;
    FILE_BASIC_INFO information{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &information, sizeof information) ||
        (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        opened.refusal_ = Refusal::special;
        return opened;
    }
    const auto final = devkit::finalPathOf(handle);
    if ((information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !final ||
        !devkit::sameFinalPath(*final, opened.expected_)) {
        opened.refusal_ = Refusal::link;
        return opened;
    }
    if (file.id && fileIndex(handle) != file.id)
        opened.refusal_ = Refusal::changed;
    opened.lastWrite_.dwLowDateTime = DWORD(information.LastWriteTime.QuadPart);
    opened.lastWrite_.dwHighDateTime = DWORD(information.LastWriteTime.QuadPart >> 32);
    return opened;
}

DropFile::DropFile(DropFile&& other) noexcept
    : handle_(other.handle_), refusal_(other.refusal_), error_(other.error_),
      expected_(std::move(other.expected_)), lastWrite_(other.lastWrite_),
      content_(std::move(other.content_)) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

DropFile::~DropFile() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

const std::optional<std::string>& DropFile::content() {
    if (content_)
        return *content_;
    content_.emplace();
    if (refusal_ != Refusal::none)
        return *content_;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size) || size.QuadPart > 0x7FFFFFFF)
        return *content_;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN))
        return *content_;
    std::string text;
    text.reserve(size_t(size.QuadPart));
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(handle_, chunk, sizeof chunk, &read, nullptr)) {
        if (read == 0) {
            *content_ = std::move(text);
            break;
        }
        text.append(chunk, read);
    }
    return *content_;
}

namespace {

// Moves an open file to `target`, never replacing what is there.
DWORD renameHandle(HANDLE handle, const fs::path& target) {
    const std::wstring& name = target.native();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(WCHAR));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(name.size() * sizeof(WCHAR));
    std::memcpy(rename->FileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    return SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size()))
               ? ERROR_SUCCESS
               : GetLastError();
}

bool removeHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition);
}

} // namespace

DWORD DropFile::renameTo(const fs::path& target) {
    return renameHandle(handle_, target);
}

DWORD DropFile::remove() {
    // Windows moves a handle along with its file: one that another flush has moved on since is
    // no longer this drop's to remove.
    const auto final = devkit::finalPathOf(handle_);
    if (!final || !devkit::sameFinalPath(*final, expected_))
        return ERROR_FILE_NOT_FOUND;
    return removeHandle(handle_) ? ERROR_SUCCESS : GetLastError();
}

std::optional<std::string> readPlainFile(const fs::path& file) {
    const auto directory = devkit::finalPath(file.parent_path());
    if (!directory)
        return std::nullopt;
    // No identity is known beforehand (0): any plain file there will do.
    DropFile opened = DropFile::open({file.filename().native(), file}, *directory);
    return opened.content();
}

DWORD placeCopy(const fs::path& copy, const fs::path& target, const std::string& content,
                FILETIME lastWrite) {
    // CREATE_NEW fails on any name that is there, a link that leads nowhere included.
    HANDLE handle = CreateFileW(copy.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    for (size_t done = 0; done < content.size() && error == ERROR_SUCCESS;) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<size_t>(content.size() - done, 1 << 20));
        if (!WriteFile(handle, content.data() + done, chunk, &written, nullptr) || !written)
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        done += written;
    }
    if (error == ERROR_SUCCESS) {
        SetFileTime(handle, nullptr, nullptr, &lastWrite);
        error = renameHandle(handle, target);
    }
    if (error != ERROR_SUCCESS)
        removeHandle(handle);
    CloseHandle(handle);
    return error;
}

} // namespace maildir
