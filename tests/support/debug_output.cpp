#include "debug_output.h"

#include <windows.h>

#include <mutex>

namespace wt {

namespace {

std::mutex lock;
std::vector<std::string> recorded;

LONG CALLBACK record(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* raised = exception->ExceptionRecord;
    if (raised->ExceptionCode == DBG_PRINTEXCEPTION_C && raised->NumberParameters >= 2) {
        // The parameters: the length with the terminator, and the text.
        const auto* text = reinterpret_cast<const char*>(raised->ExceptionInformation[1]);
        const size_t length = size_t(raised->ExceptionInformation[0]);
        std::lock_guard guard(lock);
        recorded.emplace_back(text, length ? length - 1 : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

DebugOutput::DebugOutput() {
    std::lock_guard guard(lock);
    recorded.clear();
    handler_ = AddVectoredExceptionHandler(1, record);
}

DebugOutput::~DebugOutput() {
    RemoveVectoredExceptionHandler(handler_);
}

std::vector<std::string> DebugOutput::strings() const {
    std::lock_guard guard(lock);
    return recorded;
}

} // namespace wt
