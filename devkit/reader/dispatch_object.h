// IDispatch without a type library, as a mail client's automation objects offer it: members
// are found by name (any letter case) and called by dispatch identifier. Arguments reach
// `call` in the order of the method's parameters; Invoke receives them last-first.
#pragma once
#include <windows.h>

#include <span>
#include <string>
#include <vector>

namespace reader {

struct Member {
    const wchar_t* name;
    DISPID id;
};

// The value of an optional argument: a missing one is absent.
const VARIANT* givenArgument(const std::vector<const VARIANT*>& arguments, size_t index);
// A text argument (BSTR, or a reference to one), or null.
const BSTR* textArgument(const VARIANT* argument);

class DispatchObject : public IDispatch {
public:
    explicit DispatchObject(const char* kind);
    virtual ~DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

protected:
    virtual std::span<const Member> members() const = 0;
    // Runs a method; a failure is reported to the caller with its code.
    virtual HRESULT call(DISPID id, const std::vector<const VARIANT*>& arguments,
                         VARIANT* result) = 0;

private:
    const char* kind_;
    ULONG references_ = 1;
};

} // namespace reader
