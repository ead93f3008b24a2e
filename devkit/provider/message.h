// IMessage: the properties of one message file, read when it is opened.
#pragma once
#include "defaults.h"
#include "faults.h"
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
        return getProps(properties_, tags, flags, count, values);
    }

private:
    bool answers(REFIID iid) const override { return oneOf(iid, {&IID_IMessage, &IID_IMAPIProp}); }

    std::shared_ptr<Store> store_; // keeps the store alive as long as its messages
    Properties properties_;
};

} // namespace maildir
