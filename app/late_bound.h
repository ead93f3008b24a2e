// Functions of system libraries that only some commands need, loaded when first called: a
// program that sits in the tray all day should not carry them (on Wine each library costs
// hundreds of KB resident, comdlg32 with the printing system several MB). A library, once
// loaded, stays for the life of the process. When it cannot be loaded, each function fails as
// its own failure would.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <oleauto.h>

namespace late {

// comdlg32: GetOpenFileNameA; FALSE when the library is missing.
BOOL WINAPI getOpenFileName(LPOPENFILENAMEA request);
// oleaut32: the strings and variants of automation; null or E_FAIL when the library is missing.
BSTR sysAllocString(const OLECHAR* text);
BSTR sysAllocStringLen(const OLECHAR* text, UINT length);
void WINAPI sysFreeString(BSTR text);
HRESULT variantClear(VARIANTARG* value);

} // namespace late
