#include "failure_trace.h"

#include "mapi.h"

#include <deque>
#include <mutex>

namespace maildir {

namespace {
std::mutex lock;
std::deque<std::string> latest; // the last few lines, for MaildirFailureTrace
constexpr size_t kept = 32;
} // namespace

void traceFailure(const std::string& line) {
    OutputDebugStringA(("maildirmapi: " + line + "\n").c_str());
    std::lock_guard guard(lock);
    latest.push_back(line);
    if (latest.size() > kept)
        latest.pop_front();
}

} // namespace maildir

// For the tests: the latest lines, each ended by '\n', as much as fits; the length they need.
extern "C" unsigned long WINAPI MaildirFailureTrace(char* buffer, unsigned long size) {
    std::string text;
    {
        std::lock_guard guard(maildir::lock);
        for (const std::string& line : maildir::latest)
            text += line + "\n";
    }
    if (buffer && size) {
        const size_t copied = std::min<size_t>(text.size(), size - 1);
        text.copy(buffer, copied);
        buffer[copied] = '\0';
    }
    return (unsigned long)text.size();
}
