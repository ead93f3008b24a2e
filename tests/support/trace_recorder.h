// The program's failure-trace lines while a recorder lives (written on the test's thread).
#pragma once
#include "app/failure_trace.h"

#include <algorithm>
#include <string>
#include <vector>

namespace wt {

class TraceRecorder {
public:
    TraceRecorder() {
        lines().clear();
        traceOutput = &record;
    }
    ~TraceRecorder() { traceOutput = &OutputDebugStringA; }
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    static std::vector<std::string>& lines() {
        static std::vector<std::string> seen;
        return seen;
    }
    bool saw(const std::string& line) const {
        return std::find(lines().begin(), lines().end(), line) != lines().end();
    }

private:
    static void WINAPI record(LPCSTR line) { lines().push_back(line); }
};

} // namespace wt
