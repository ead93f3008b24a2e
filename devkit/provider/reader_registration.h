// The reader beside the store: regsvr32 of the provider also makes maildirreader.exe, when it
// lies in the same folder, the server of a mail client's application object.
#pragma once
#include <windows.h>

namespace maildir {

// Registers the reader found beside `providerPath`; S_OK also when there is none.
HRESULT registerReader(const wchar_t* providerPath);
// Removes the reader's class, and the application object's identifier while it leads there.
void unregisterReader();

} // namespace maildir
