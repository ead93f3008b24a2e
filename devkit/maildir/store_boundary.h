// Where a path of the store really leads. A folder or message reached through a symbolic link,
// a junction or another reparse point may lie anywhere; a check of the path's text cannot tell,
// so each is opened and its final path compared with the root's own.
#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace devkit {

namespace fs = std::filesystem;

class StoreBoundary {
public:
    explicit StoreBoundary(fs::path root) : root_(std::move(root)) {}

    // Whether `path` exists and everything it leads through ends inside the root.
    bool contains(const fs::path& path) const;
    // Removes a file after checking, on the very file it removes, that it lies inside.
    bool removeFile(const fs::path& path) const;
    // Removes a directory tree, or nothing when some directory in it leads outside.
    bool removeTree(const fs::path& directory) const;

private:
    bool insideRoot(const std::optional<fs::path>& finalPath) const;

    fs::path root_;
    mutable std::optional<fs::path> rootFinal_; // once the root exists
};

} // namespace devkit
