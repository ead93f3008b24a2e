#include "read_mail.h"

#include "app/app_state.h"
#include "app/handles.h"
#include "busy_client.h"

namespace {

// The mail client's dispatch identifiers, fixed by its object model.
constexpr DISPID dispidGetNamespace = 0x110;
constexpr DISPID dispidLogon = 0x2105;
constexpr DISPID dispidGetItemFromID = 0x2109;
constexpr LCID userDefaultLocale = 0x0400;
constexpr DWORD anyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// The value that stands for an optional argument not given; VT_ERROR holds nothing to free.
struct MissingArgument {
    VARIANT value{};
    MissingArgument() {
        V_VT(&value) = VT_ERROR;
        V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
    }
} const missingArgument;

// Calls a method with its arguments given last-first, as Invoke takes them, and keeps the
// object it returns. A call that succeeds without an object fails here.
HRESULT callForObject(BusyClientRetry& busy, IDispatch* object, DISPID id,
                      VARIANT* argumentsLastFirst, UINT count, ComPtr<IDispatch>& returned) {
    DISPPARAMS parameters{argumentsLastFirst, nullptr, count, 0};
    VARIANT result{}; // VT_EMPTY
    const HRESULT called = busy.call([&] {
        return object->Invoke(id, IID_NULL, userDefaultLocale, DISPATCH_METHOD, &parameters,
                              &result, nullptr, nullptr);
    });
    if (SUCCEEDED(called) && V_VT(&result) == VT_DISPATCH && V_DISPATCH(&result)) {
        returned.reset(V_DISPATCH(&result));
        return S_OK; // the reference moved into `returned`
    }
    late::variantClear(&result);
    return FAILED(called) ? called : E_NOINTERFACE;
}

HRESULT createApplication(ComPtr<IDispatch>& application) {
    CLSID id;
    HRESULT result = CLSIDFromProgID(L"Outlook.application", &id);
    if (FAILED(result))
        return result;
    ComPtr<IUnknown> unknown;
    result = CoCreateInstance(id, nullptr, anyServer, IID_IUnknown, unknown.putAs<void>());
    if (FAILED(result))
        return result;
    result = OleRun(unknown.get());
    if (FAILED(result))
        return result;
    return unknown->QueryInterface(IID_IDispatch, application.putAs<void>());
}

HRESULT logOn(BusyClientRetry& busy, IDispatch* nameSpace) {
    VARIANT arguments[4];
    for (VARIANT& argument : arguments)
        argument = missingArgument.value; // a copy of a VT_ERROR owns nothing
    DISPPARAMS parameters{arguments, nullptr, 4, 0};
    return busy.call([&] {
        return nameSpace->Invoke(dispidLogon, IID_NULL, userDefaultLocale, DISPATCH_METHOD,
                                 &parameters, nullptr, nullptr, nullptr);
    });
}

// Steps up to the item: the application object, its MAPI name space, the log-on and the item
// of the mail now shown. The first failure ends them.
HRESULT findItem(BusyClientRetry& busy, ComPtr<IDispatch>& application,
                 ComPtr<IDispatch>& nameSpace, ComPtr<IDispatch>& item) {
    HRESULT result = createApplication(application);
    if (FAILED(result))
        return result;

    const UniqueBstr mapi(late::sysAllocString(L"MAPI"));
    VARIANT type;
    V_VT(&type) = VT_BSTR;
    V_BSTR(&type) = mapi.get();
    result = callForObject(busy, application.get(), dispidGetNamespace, &type, 1, nameSpace);
    if (FAILED(result))
        return result;

    result = logOn(busy, nameSpace.get());
    if (FAILED(result))
        return result;

    auto bstrOf = [](const std::string& text) {
        return UniqueBstr(late::sysAllocStringLen(nullptr, UINT(text.size())));
    };
    const std::string entryText = hexIdentifierText(app->currentEntryId, app->currentEntryIdSize);
    const std::string storeText = hexIdentifierText(app->currentStoreId, app->currentStoreIdSize);
    const UniqueBstr entry = bstrOf(entryText), store = bstrOf(storeText);
    if (!entry || !store)
        return E_OUTOFMEMORY;
    for (size_t i = 0; i < entryText.size(); ++i)
        entry.get()[i] = wchar_t(entryText[i]);
    for (size_t i = 0; i < storeText.size(); ++i)
        store.get()[i] = wchar_t(storeText[i]);
    VARIANT arguments[2]; // last-first: the store's text, then the entry's
    V_VT(&arguments[0]) = VT_BSTR;
    V_BSTR(&arguments[0]) = store.get();
    V_VT(&arguments[1]) = VT_BSTR;
    V_BSTR(&arguments[1]) = entry.get();
    return callForObject(busy, nameSpace.get(), dispidGetItemFromID, arguments, 2, item);
}

HRESULT display(BusyClientRetry& busy, IDispatch* item) {
    LPOLESTR name = const_cast<LPOLESTR>(L"Display");
    DISPID id = DISPID_UNKNOWN;
    HRESULT result =
        busy.call([&] { return item->GetIDsOfNames(IID_NULL, &name, 1, userDefaultLocale, &id); });
    if (result != S_OK)
        return FAILED(result) ? result : E_FAIL;
    // The client's window comes to the front rather than opening behind this one.
    CoAllowSetForegroundWindow(item, nullptr);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    result = busy.call([&] {
        return item->Invoke(id, IID_NULL, userDefaultLocale, DISPATCH_METHOD, &none, nullptr,
                            nullptr, nullptr);
    });
    return result == S_OK ? S_OK : E_FAIL;
}

} // namespace

std::string hexIdentifierText(const BYTE* bytes, uint32_t size) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size_t(size) * 2);
    for (uint32_t i = 0; bytes && i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

void readMailInOutlook(HWND window) {
    // Declared in this order so that they are released item first, the application last.
    BusyClientRetry busy; // outlives the objects, so that their releases see no filter change
    ComPtr<IDispatch> application, nameSpace, item;
    HRESULT result = findItem(busy, application, nameSpace, item);
    if (SUCCEEDED(result))
        result = display(busy, item.get());
    if (FAILED(result))
        MessageBoxA(window, "No mail to read", "INFO", MB_ICONINFORMATION);
}

void startMailReader() {
    const char* path = app->mailReaderPath;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // A reader never set up is not started at all: the box names the setting instead of an
    // empty path and the system's complaint about a missing parameter.
    const bool configured = path && *path;
    if (configured &&
        CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return;
    }
    const DWORD error = configured ? GetLastError() : ERROR_FILE_NOT_FOUND;
    UniqueLocalText reason;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                   userDefaultLocale, reinterpret_cast<char*>(reason.put()), 0, nullptr);
    const std::string text =
        std::string("Cannot execute\n") +
        (configured ? path : "(no mail reader is set up: choose one in Configure...)") +
        "\nError is:\n" + (reason ? reason.get() : "");
    MessageBoxA(nullptr, text.c_str(), "Error", MB_ICONINFORMATION);
}
