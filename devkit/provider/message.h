// IMessage: the properties of one message file, read when it is opened.
#pragma once
#include "defaults.h"
#include "faults.h"
#include "property_stream.h"
#include "store.h"

#include <memory>

namespace maildir {

class Message final : public MessageDefaults {
public:
    // `gone`: opened with deferred errors while it was missing; every read answers that.
    Message(std::shared_ptr<Store> store, Properties properties, HRESULT gone = S_OK)
        : store_(std::move(store)), properties_(std::move(properties)), gone_(gone) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                          LPSPropValue* values) override {
        MAILDIR_FAULT_POINT("IMessage::GetProps");
        if (FAILED(gone_))
            return gone_;
        return getProps(properties_, tags, flags, count, values, largePropertyBytes);
    }
    // Any text or binary property, large or not, as a read-only stream.
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags,
                              LPUNKNOWN* object) override {
        MAILDIR_FAULT_POINT("IMessage::OpenProperty");
        if (FAILED(gone_))
            return gone_;
        return openPropertyStream(properties_, tag, iid, flags, object);
    }
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count,
                                 LPMAPINAMEID** names) override {
        MAILDIR_FAULT_POINT("IMessage::GetNamesFromIDs");
        return getNamesFromIDs(store_->names(), tags, set, flags, count, names);
    }
    STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                 LPSPropTagArray* tags) override {
        MAILDIR_FAULT_POINT("IMessage::GetIDsFromNames");
        return getIDsFromNames(store_->names(), count, names, flags, tags);
    }

private:
    bool answers(REFIID iid) const override { return oneOf(iid, {&IID_IMessage, &IID_IMAPIProp}); }

    std::shared_ptr<Store> store_; // keeps the store alive as long as its messages
    Properties properties_;
    HRESULT gone_;
};

} // namespace maildir
