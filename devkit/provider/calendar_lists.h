// The files of watched calendar folders, kept by their watch from the changes it is told of,
// so that reading a large calendar costs no listing of its directory. A folder's list is used
// only while the watch has looked at every change reported for it; between a change and that
// look, and for a folder whose watch has ended, the directory is listed as before.
#pragma once
#include "maildir_store.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace maildir {

class CalendarLists {
public:
    // The folder's files as its watch starts.
    void track(const std::string& folder, const std::vector<devkit::CalendarFile>& files);
    // Its watch has ended.
    void forget(const std::string& folder);
    // Changes were reported: the list is not used until the watch has looked at them.
    void changing(const std::string& folder);
    // What one file is now; nothing when it is gone.
    void update(const std::string& folder, const std::string& name,
                const std::optional<devkit::CalendarFile>& file);
    // Every reported change has been looked at.
    void settled(const std::string& folder);

    // Calls `visit` for each file of the folder in name order, when its list can be used;
    // false otherwise.
    bool visit(const std::string& folder,
               const std::function<void(const devkit::CalendarFile&)>& visit);

private:
    struct List {
        bool current = false;
        std::map<std::string, devkit::CalendarFile> files;
    };
    std::mutex lock_;
    std::map<std::string, List> lists_;
};

} // namespace maildir
