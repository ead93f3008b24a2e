// The files a mail drop is emptied of, taken without following links. Whoever can write into a
// drop may place a symbolic link, a junction, a FIFO or a device there, or swap a file for one
// while it is being flushed: a message is only a plain file that lies where it was listed, and
// it is read, moved and removed through the one handle that was checked, never again by name.
#pragma once
#include "mapi.h"
#include "maildir_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace maildir {

struct ListedFile {
    std::wstring name;     // as listed
    devkit::fs::path path; // what opens it: the short name where Windows cannot open the name
    std::uint64_t id = 0;  // the file's identity when it was listed; 0: not known
    bool directory = false;
    bool link = false; // a directory link or junction: the listing tells only of those
};

// What `directory` holds, names starting with '.' left out; nothing when it cannot be listed.
std::vector<ListedFile> listFiles(const devkit::fs::path& directory);

class DropFile {
public:
    enum class Refusal {
        none,
        gone,    // removed since the listing
        busy,    // cannot be opened now (held by its writer, say): error() tells
        link,    // a link or reparse point, or a file reached through one
        special, // a FIFO, a device, a directory
        changed, // another file than the one listed holds the name now
    };

    // Opens a listed file of a directory whose own final path is `finalDirectory`.
    static DropFile open(const ListedFile& file, const devkit::fs::path& finalDirectory);
    DropFile(DropFile&& other) noexcept;
    DropFile& operator=(DropFile&&) = delete;
    ~DropFile();

    Refusal refusal() const { return refusal_; }
    DWORD error() const { return error_; }
    // The whole content, read once.
    const std::optional<std::string>& content();
    FILETIME lastWrite() const { return lastWrite_; }
    // Moves the file to `target`, never replacing what is there; the error, or ERROR_SUCCESS.
    DWORD renameTo(const devkit::fs::path& target);
    // Removes the file, unless it no longer lies where it was listed.
    DWORD remove();

private:
    DropFile(HANDLE handle, Refusal refusal, DWORD error)
        : handle_(handle), refusal_(refusal), error_(error) {}

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    Refusal refusal_ = Refusal::none;
    DWORD error_ = ERROR_SUCCESS;
    devkit::fs::path expected_; // its final path where it was listed
    FILETIME lastWrite_{};
    std::optional<std::optional<std::string>> content_;
};

// A plain file's content, read as above; nothing when it is missing, a link or not plain.
std::optional<std::string> readPlainFile(const devkit::fs::path& file);

// Writes a new file `copy` (never one that exists, nor through a link) with its time of
// writing, and moves it to `target` through its handle, never replacing what is there; what it
// made is removed again through that handle when a step fails. The error, or ERROR_SUCCESS.
DWORD placeCopy(const devkit::fs::path& copy, const devkit::fs::path& target,
                const std::string& content, FILETIME lastWrite);

} // namespace maildir
