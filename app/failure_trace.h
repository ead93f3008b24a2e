// The failure trace: one debug line for each failure the program checks, naming the call and
// its result, for a debug viewer or Wine's debug channel (WINEDEBUG=+debugstr).
#pragma once
#include <windows.h>

// Writes "Tavinel: <call> failed: 0x<result>" and a line end.
void traceFailure(const char* call, HRESULT result);
// Writes "Tavinel: <call> failed: <reason>" for a failure without a result code.
void traceFailure(const char* call, const char* reason);

// True, after tracing it, when `result` is a failure: if (failed("IMAPITable::SeekRow", ...)).
inline bool failed(const char* call, HRESULT result) {
    if (SUCCEEDED(result))
        return false;
    traceFailure(call, result);
    return true;
}

// Where the lines go: OutputDebugStringA. Tests point it elsewhere to read them.
extern void(WINAPI* traceOutput)(LPCSTR line);
