// Fault injection: the registry value "Faults" under the kit's key makes chosen calls fail,
// so that a program's error paths can be walked without special code in it.
//   Faults = "IMAPITable::QueryRows#2=0x80004005; MAPIAllocateBuffer#1+=0x8007000E"
// fails the second QueryRows of the process, and every MAPIAllocateBuffer, with those codes.
#pragma once
#include "mapi.h"

#include <string>

namespace maildir {

void loadFaults(const std::string& setting);
// Reads the "Faults" value of `key` again whenever it changes, so that faults can be switched
// on while a program runs; the counts start again with each new setting.
void followFaultSetting(const wchar_t* key);
// The code that the next call of `method` must fail with, or S_OK. A gate set by the provider
// (the rules of MAPI threads) answers first.
HRESULT injectedFault(const char* method);
void setCallGate(HRESULT (*gate)(const char* method));

} // namespace maildir

#define MAILDIR_FAULT_POINT(method)                                                                \
    if (const HRESULT injected = ::maildir::injectedFault(method); FAILED(injected))               \
    return injected
