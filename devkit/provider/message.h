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
    Message(std::shared_ptr<Store> store, Properties properties)
        : store_(std::move(store)), properties_(std::move(properties)) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                          LPSPropValue* values) override {
        MAILDIR_FAULT_POINT("IMessage::GetProps");
        return getProps(properties_, tags, flags, count, values, largePropertyBytes);
    }
    // Any text or binary property, large or not, as a read-only stream.
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags,
                              LPUNKNOWN* object) override {
        MAILDIR_FAULT_POINT("IMessage::OpenProperty");
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
};

} // namespace maildir

namespace maildir {

// A message opened with MAPI_DEFERRED_ERRORS that was not there: every call answers that it is
// not found, as a real store's deferred lookup does at its first use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define MAILDIR_NOT_FOUND                                                                          \
    override {                                                                                     \
        return MAPI_E_NOT_FOUND;                                                                   \
    }
class GoneMessage final : public ComObject<IMessage> {
public:
    MAPI_IMAPIPROP_METHODS(MAILDIR_NOT_FOUND)
    MAPI_IMESSAGE_METHODS(MAILDIR_NOT_FOUND)

private:
    bool answers(REFIID iid) const override { return oneOf(iid, {&IID_IMessage, &IID_IMAPIProp}); }
};
#undef MAILDIR_NOT_FOUND
#pragma GCC diagnostic pop

} // namespace maildir
