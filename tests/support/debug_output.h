// What this process writes with OutputDebugString, as a debugger would see it: the call raises
// DBG_PRINTEXCEPTION_C, which a vectored handler sees first and passes on.
#pragma once
#include <string>
#include <vector>

namespace wt {

class DebugOutput {
public:
    DebugOutput();  // records from now on
    ~DebugOutput(); // stops recording
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    std::vector<std::string> strings() const;

private:
    void* handler_ = nullptr;
};

} // namespace wt
