#include "dispatch_object.h"

#include "call_log.h"
#include "server.h"

#include <cstdio>

namespace reader {

namespace {

// The locale a caller passes, as the log shows it: a caller that means "the user's" passes
// LOCALE_USER_DEFAULT (0x0400), and a member that formats text follows what it is given.
std::string localeText(LCID locale) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04lX", static_cast<unsigned long>(locale));
    return text;
}

} // namespace

const VARIANT* givenArgument(const std::vector<const VARIANT*>& arguments, size_t index) {
    if (index >= arguments.size())
        return nullptr;
    const VARIANT* value = arguments[index];
    if (V_VT(value) == (VT_VARIANT | VT_BYREF))
        value = V_VARIANTREF(value);
    if (!value || (V_VT(value) == VT_ERROR && V_ERROR(value) == DISP_E_PARAMNOTFOUND))
        return nullptr;
    return value;
}

const BSTR* textArgument(const VARIANT* argument) {
    if (!argument)
        return nullptr;
    if (V_VT(argument) == VT_BSTR)
        return &V_BSTR(argument);
    if (V_VT(argument) == (VT_BSTR | VT_BYREF))
        return V_BSTRREF(argument);
    return nullptr;
}

DispatchObject::DispatchObject(const char* kind) : kind_(kind) {
    objectCreated();
}

DispatchObject::~DispatchObject() {
    objectDestroyed();
    logLine(std::string("Release ") + kind_ + " (objects " + std::to_string(liveObjects()) + ")");
}

STDMETHODIMP DispatchObject::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch))
        return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) DispatchObject::AddRef() {
    return ++references_; // every call arrives on the server's one apartment thread
}

STDMETHODIMP_(ULONG) DispatchObject::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP DispatchObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                           DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    logLine(std::string("GetIDsOfNames(\"") +
            (count && names[0] ? utf8(names[0], wcslen(names[0])) : "") + "\") locale " +
            localeText(locale));
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        // Only the member's name is looked up; named arguments are not offered.
        if (i == 0 && names[0])
            for (const Member& member : members())
                if (_wcsicmp(member.name, names[0]) == 0)
                    ids[0] = member.id;
        if (ids[i] == DISPID_UNKNOWN)
            result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

STDMETHODIMP DispatchObject::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                    DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                    UINT*) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    char member[16];
    std::snprintf(member, sizeof member, "0x%lX", static_cast<unsigned long>(id));
    logLine(std::string("Invoke(") + member + ") locale " + localeText(locale));
    bool known = false;
    for (const Member& member : members())
        known = known || member.id == id;
    if (!known)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (parameters && parameters->cNamedArgs)
        return DISP_E_NONAMEDARGS;
    std::vector<const VARIANT*> arguments;
    if (parameters)
        for (UINT i = parameters->cArgs; i-- > 0;)
            arguments.push_back(&parameters->rgvarg[i]);
    if (result)
        VariantInit(result);
    const HRESULT outcome = call(id, arguments, result);
    if (FAILED(outcome) && exception) {
        *exception = {};
        exception->bstrSource = SysAllocString(L"Maildir reader");
        exception->scode = outcome;
        return DISP_E_EXCEPTION;
    }
    return outcome;
}

} // namespace reader
