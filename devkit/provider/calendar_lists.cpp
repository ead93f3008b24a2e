#include "calendar_lists.h"

namespace maildir {

void CalendarLists::track(const std::string& folder,
                          const std::vector<devkit::CalendarFile>& files) {
    std::lock_guard guard(lock_);
    List& list = lists_[folder];
    list.files.clear();
    for (const devkit::CalendarFile& file : files)
        list.files.emplace(file.name, file);
    list.current = true;
}

void CalendarLists::forget(const std::string& folder) {
    std::lock_guard guard(lock_);
    lists_.erase(folder);
}

void CalendarLists::changing(const std::string& folder) {
    std::lock_guard guard(lock_);
    if (auto found = lists_.find(folder); found != lists_.end())
        found->second.current = false;
}

void CalendarLists::update(const std::string& folder, const std::string& name,
                           const std::optional<devkit::CalendarFile>& file) {
    std::lock_guard guard(lock_);
    auto found = lists_.find(folder);
    if (found == lists_.end())
        return;
    if (file)
        found->second.files.insert_or_assign(name, *file);
    else
        found->second.files.erase(name);
}

void CalendarLists::settled(const std::string& folder) {
    std::lock_guard guard(lock_);
    if (auto found = lists_.find(folder); found != lists_.end())
        found->second.current = true;
}

bool CalendarLists::visit(const std::string& folder,
                          const std::function<void(const devkit::CalendarFile&)>& visit) {
    std::lock_guard guard(lock_);
    auto found = lists_.find(folder);
    if (found == lists_.end() || !found->second.current)
        return false;
    for (const auto& [name, file] : found->second.files)
        visit(file);
    return true;
}

} // namespace maildir
