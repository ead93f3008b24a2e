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

// Makes the fault point "File::read" hold a read of a store file (a message or a calendar
// item) between its check and its reading: when it fires, the event kReadHeldEvent is set and
// the read waits (at most 10 s) for kReadResumeEvent (both in maildir_store.h), so that a
// test can swap the file at that very moment. The code given in the setting does not matter.
void holdReadsOnFault();

} // namespace maildir

#define MAILDIR_FAULT_POINT(method)                                                                \
    if (const HRESULT injected = ::maildir::injectedFault(method); FAILED(injected))               \
    return injected
