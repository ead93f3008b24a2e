// MailItem: one message of the store, read when it was looked up; Display opens it.
#include "automation.h"
#include "call_log.h"
#include "dispatch_object.h"
#include "faults.h"
#include "reader_window.h"

#include <new>

namespace reader {

namespace {

class MailItem final : public DispatchObject {
public:
    explicit MailItem(devkit::ReaderMessage message)
        : DispatchObject("MailItem"), message_(std::move(message)) {}

private:
    std::span<const Member> members() const override {
        static constexpr Member list[] = {{L"Display", dispidDisplay}};
        return list;
    }
    // Display([modal]): the window stays open after the call, modal or not.
    HRESULT call(DISPID, const std::vector<const VARIANT*>& arguments, VARIANT*) override {
        std::string call = "Display(";
        for (size_t i = 0; i < arguments.size(); ++i)
            call += (i ? ", " : "") + describe(*arguments[i]);
        call += ")";
        if (const HRESULT injected = maildir::injectedFault("MailItem::Display");
            FAILED(injected)) {
            logLine(call + " -> injected fault");
            return injected;
        }
        if (arguments.size() > 1)
            return DISP_E_BADPARAMCOUNT;
        if (!openReaderWindow(message_)) {
            logLine(call + " -> no window");
            return E_FAIL;
        }
        logLine(call + " -> window \"" + message_.subject + "\"");
        return S_OK;
    }

    devkit::ReaderMessage message_;
};

} // namespace

IDispatch* newMailItem(devkit::ReaderMessage message) {
    return new (std::nothrow) MailItem(std::move(message));
}

} // namespace reader
