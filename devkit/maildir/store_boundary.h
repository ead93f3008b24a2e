// Where a path of the store really leads. A folder or message reached through a symbolic link,
// a junction or another reparse point may lie anywhere; a check of the path's text cannot tell,
// so each is opened and its final path compared with the root's own.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devkit {

namespace fs = std::filesystem;

class StoreBoundary {
public:
    explicit StoreBoundary(fs::path root) : root_(std::move(root)) {}

    // Whether `path` exists and everything it leads through ends inside the root.
    bool contains(const fs::path& path) const;
#ifdef _WIN32
    // Whether a file or directory already open (a HANDLE) lies inside the root: the check of
    // contains() without opening it a second time.
    bool containsOpen(void* handle) const;
#endif
    // Removes a file after checking, on the very file it removes, that it lies inside.
    bool removeFile(const fs::path& path) const;
    // Removes a directory tree, or nothing when some directory in it leads outside (or, on
    // Windows, is a link: see allInside).
    bool removeTree(const fs::path& directory) const;

private:
    bool insideRoot(const std::optional<fs::path>& finalPath) const;
    // Whether every directory below `directory` leads inside.
    bool allInside(const fs::path& directory) const;

    fs::path root_;
    mutable std::optional<fs::path> rootFinal_; // once the root exists
};

// The final path of `path`: every link resolved; nothing when it cannot be opened.
std::optional<fs::path> finalPath(const fs::path& path);

#ifdef _WIN32
// The final path of a file or directory already open (a HANDLE), in "\\?\C:\..." form.
std::optional<fs::path> finalPathOf(void* handle);
// Whether two final paths name the same place: Windows compares names without case.
bool sameFinalPath(const fs::path& a, const fs::path& b);

// Whether a listed name opens only by its short name: a Linux file system holds names that
// Windows refuses ('*', '?', '"', '<', '>', '|') or changes (a final '.' or ' ' is dropped).
// A ':' is not among them: Wine opens a listed name with ':' as it stands.
bool opensOnlyByShortName(std::wstring_view name);
#endif

// Removes a directory tree, unchecked, except directory links (and what they lead to), which
// stay with the directories that hold them; a file link is removed itself.
// Not std::filesystem::remove_all: with mingw it never returns from a name that Windows cannot
// open, which a Maildir written on Linux may hold.
bool removeDirectoryTree(const fs::path& directory);

} // namespace devkit
