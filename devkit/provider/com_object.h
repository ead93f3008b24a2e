// Reference counting, interface lookup and "not supported" defaults for the provider's objects.
#pragma once
#include "mapi.h"

#include <atomic>
#include <initializer_list>
#include <new>

namespace maildir {

// Objects alive in the provider, for the leak check of the tests.
extern std::atomic<long> liveObjects;

// Implements IUnknown on top of an interface class. QueryInterface answers IUnknown and the
// interfaces the object lists.
template <typename Interface> class ComObject : public Interface {
public:
    ComObject() { ++liveObjects; }
    virtual ~ComObject() { --liveObjects; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_INVALIDARG;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || answers(iid)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --references_;
        if (left == 0)
            delete this;
        return ULONG(left);
    }

protected:
    virtual bool answers(REFIID iid) const = 0;
    static bool oneOf(REFIID iid, std::initializer_list<const IID*> ids) {
        for (const IID* id : ids)
            if (IsEqualIID(iid, *id))
                return true;
        return false;
    }

private:
    std::atomic<long> references_{1};
};

// Creates an object whose one reference belongs to the caller.
template <typename T, typename... Args> T* make(Args&&... args) {
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

} // namespace maildir

// Every method of an interface answering MAPI_E_NO_SUPPORT; classes override what they do.
#define MAILDIR_NO_SUPPORT                                                                         \
    override {                                                                                     \
        return MAPI_E_NO_SUPPORT;                                                                  \
    }
