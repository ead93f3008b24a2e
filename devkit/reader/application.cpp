// Application and NameSpace: the way from the class object to a message of the store.
#include "automation.h"
#include "call_log.h"
#include "dispatch_object.h"
#include "faults.h"
#include "reader_settings.h"

#include <new>

namespace reader {

namespace {

std::string describeAll(const std::vector<const VARIANT*>& arguments) {
    std::string text;
    for (const VARIANT* argument : arguments)
        text += (text.empty() ? "" : ", ") + describe(*argument);
    return text;
}

HRESULT returnObject(IDispatch* object, VARIANT* result) {
    if (!object)
        return E_OUTOFMEMORY;
    if (!result) { // the caller does not want it
        object->Release();
        return S_OK;
    }
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    return S_OK;
}

const char* describe(devkit::LookupError error) {
    switch (error) {
    case devkit::LookupError::malformed:
        return "not an identifier of a message";
    case devkit::LookupError::notThisStore:
        return "not of this store";
    case devkit::LookupError::notFound:
        return "not found";
    }
    return "";
}

class Application final : public DispatchObject {
public:
    Application() : DispatchObject("Application") {}

private:
    std::span<const Member> members() const override {
        static constexpr Member list[] = {{L"GetNamespace", dispidGetNamespace}};
        return list;
    }
    HRESULT call(DISPID, const std::vector<const VARIANT*>& arguments, VARIANT* result) override {
        logLine("GetNamespace(" + describeAll(arguments) + ")");
        MAILDIR_FAULT_POINT("Application::GetNamespace");
        if (arguments.size() != 1)
            return DISP_E_BADPARAMCOUNT;
        const BSTR* type = textArgument(givenArgument(arguments, 0));
        if (!type)
            return DISP_E_TYPEMISMATCH;
        if (!*type || _wcsicmp(*type, L"MAPI") != 0)
            return E_INVALIDARG; // the only name space there is
        return returnObject(newNameSpace(), result);
    }
};

class NameSpace final : public DispatchObject {
public:
    NameSpace() : DispatchObject("NameSpace") {}

private:
    std::span<const Member> members() const override {
        static constexpr Member list[] = {{L"Logon", dispidLogon},
                                          {L"GetItemFromID", dispidGetItemFromID}};
        return list;
    }
    HRESULT call(DISPID id, const std::vector<const VARIANT*>& arguments,
                 VARIANT* result) override {
        if (id == dispidLogon)
            return logon(arguments);
        return itemFromId(arguments, result);
    }

    // Profile, password, show dialog, new session: all optional; the store is the profile.
    HRESULT logon(const std::vector<const VARIANT*>& arguments) {
        logLine("Logon(" + describeAll(arguments) + ")");
        MAILDIR_FAULT_POINT("NameSpace::Logon");
        return arguments.size() <= 4 ? S_OK : DISP_E_BADPARAMCOUNT;
    }

    HRESULT itemFromId(const std::vector<const VARIANT*>& arguments, VARIANT* result) {
        const std::string call = "GetItemFromID(" + describeAll(arguments) + ")";
        if (const HRESULT injected = maildir::injectedFault("NameSpace::GetItemFromID");
            FAILED(injected)) {
            logLine(call + " -> injected fault");
            return injected;
        }
        if (arguments.empty() || arguments.size() > 2) {
            logLine(call + " -> wrong argument count");
            return DISP_E_BADPARAMCOUNT;
        }
        const BSTR* entry = textArgument(givenArgument(arguments, 0));
        const VARIANT* storeArgument = givenArgument(arguments, 1);
        const BSTR* store = textArgument(storeArgument);
        if (!entry || (storeArgument && !store)) {
            logLine(call + " -> not a text");
            return DISP_E_TYPEMISMATCH;
        }
        auto text = [](BSTR value) { return utf8(value, SysStringLen(value)); };
        const std::optional<std::string> storeText =
            store ? std::optional<std::string>(text(*store)) : std::nullopt;

        devkit::MaildirStore files{devkit::fs::path(settings().storeRoot)};
        std::error_code missing;
        if (!devkit::fs::exists(files.root() / devkit::propertiesFile, missing)) {
            logLine(call + " -> no store");
            return MAPI_E_NOT_FOUND;
        }
        devkit::LookupResult found = devkit::LookupError::notFound;
        try {
            files.open();
            found = devkit::lookUpItem(files, text(*entry), storeText);
        } catch (const std::exception&) {
            // an unreadable store: the message cannot be found
        }
        if (const auto* error = std::get_if<devkit::LookupError>(&found)) {
            logLine(call + " -> " + describe(*error));
            return *error == devkit::LookupError::notFound ? MAPI_E_NOT_FOUND
                                                           : MAPI_E_INVALID_ENTRYID;
        }
        logLine(call + " -> MailItem");
        return returnObject(newMailItem(std::move(std::get<devkit::ReaderMessage>(found))), result);
    }
};

} // namespace

IDispatch* newApplication() {
    return new (std::nothrow) Application;
}

IDispatch* newNameSpace() {
    return new (std::nothrow) NameSpace;
}

} // namespace reader
