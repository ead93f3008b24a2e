#include "late_bound.h"

namespace late {

namespace {

template <typename Function> Function resolve(const wchar_t* library, const char* name) {
    const HMODULE module = LoadLibraryW(library); // kept: see the header
    return module ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

} // namespace

BOOL WINAPI getOpenFileName(LPOPENFILENAMEA request) {
    static const auto real =
        resolve<decltype(&GetOpenFileNameA)>(L"comdlg32.dll", "GetOpenFileNameA");
    return real ? real(request) : FALSE;
}

BSTR sysAllocString(const OLECHAR* text) {
    static const auto real = resolve<decltype(&SysAllocString)>(L"oleaut32.dll", "SysAllocString");
    return real ? real(text) : nullptr;
}

BSTR sysAllocStringLen(const OLECHAR* text, UINT length) {
    static const auto real =
        resolve<decltype(&SysAllocStringLen)>(L"oleaut32.dll", "SysAllocStringLen");
    return real ? real(text, length) : nullptr;
}

void WINAPI sysFreeString(BSTR text) {
    static const auto real = resolve<decltype(&SysFreeString)>(L"oleaut32.dll", "SysFreeString");
    if (real && text)
        real(text);
}

HRESULT variantClear(VARIANTARG* value) {
    static const auto real = resolve<decltype(&VariantClear)>(L"oleaut32.dll", "VariantClear");
    return real ? real(value) : E_FAIL;
}

} // namespace late
