#include "faults.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace maildir {

namespace {

struct Fault {
    long call;     // 1-based
    bool andLater; // "#N+": this call and every later one
    HRESULT code;
};

std::mutex lock;
std::map<std::string, std::vector<Fault>> faults;
std::map<std::string, long> calls;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

void loadFaults(const std::string& setting) {
    std::lock_guard guard(lock);
    faults.clear();
    calls.clear();
    std::istringstream entries(setting);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        const size_t hash = entry.find('#');
        const size_t equals = entry.find('=', hash == std::string::npos ? 0 : hash);
        if (hash == std::string::npos || equals == std::string::npos)
            continue;
        std::string count = trimmed(entry.substr(hash + 1, equals - hash - 1));
        const bool andLater = !count.empty() && count.back() == '+';
        if (andLater)
            count.pop_back();
        const long call = std::strtol(count.c_str(), nullptr, 10);
        const auto code =
            HRESULT(std::strtoul(trimmed(entry.substr(equals + 1)).c_str(), nullptr, 0));
        if (call > 0)
            faults[trimmed(entry.substr(0, hash))].push_back({call, andLater, code});
    }
}

HRESULT injectedFault(const char* method) {
    std::lock_guard guard(lock);
    auto found = faults.find(method);
    if (found == faults.end())
        return S_OK;
    const long call = ++calls[method];
    for (const Fault& fault : found->second)
        if (call == fault.call || (fault.andLater && call > fault.call))
            return fault.code;
    return S_OK;
}

} // namespace maildir
