#include "failure_trace.h"

#include <cstdio>

void(WINAPI* traceOutput)(LPCSTR) = &OutputDebugStringA;

void traceFailure(const char* call, HRESULT result) {
    char line[160];
    std::snprintf(line, sizeof line, "Tavinel: %s failed: 0x%08lX\n", call,
                  static_cast<unsigned long>(result));
    traceOutput(line);
}

void traceFailure(const char* call, const char* reason) {
    char line[200];
    std::snprintf(line, sizeof line, "Tavinel: %s failed: %s\n", call, reason);
    traceOutput(line);
}
