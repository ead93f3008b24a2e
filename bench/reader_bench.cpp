// Measures what the kit's reader server costs a window: messages displayed one after another
// through its automation object, as a mail notifier's Read now does, each left open; the
// server's resident memory after the first window and after all of them.
// Prints its figures; run through scripts/bench.sh reader.
//   reader_bench [windows (100)]
#include "automation.h"
#include "kit_reader.h"
#include "kit_store.h"
#include "mapi_test_support.h"

#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using kit::Ref;

HRESULT invoke(IDispatch* object, DISPID id, std::vector<std::wstring> texts,
               VARIANT* result = nullptr) {
    std::vector<VARIANT> arguments(texts.size()); // last-first, as Invoke wants them
    for (size_t i = 0; i < texts.size(); ++i) {
        VARIANT& argument = arguments[texts.size() - 1 - i];
        VariantInit(&argument);
        V_VT(&argument) = texts[i].empty() ? VT_ERROR : VT_BSTR;
        if (texts[i].empty())
            V_ERROR(&argument) = DISP_E_PARAMNOTFOUND;
        else
            V_BSTR(&argument) = SysAllocString(texts[i].c_str());
    }
    DISPPARAMS parameters{arguments.data(), nullptr, UINT(arguments.size()), 0};
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                      &parameters, result, nullptr, nullptr);
    for (VARIANT& argument : arguments)
        VariantClear(&argument);
    return hr;
}

Ref<IDispatch> dispatchOf(VARIANT& result) {
    if (V_VT(&result) != VT_DISPATCH)
        return {};
    Ref<IDispatch> object(V_DISPATCH(&result));
    V_VT(&result) = VT_EMPTY;
    return object;
}

std::wstring hex(const devkit::Bytes& bytes) {
    const std::string text = wt::hexText(bytes);
    return std::wstring(text.begin(), text.end());
}

// The server's resident memory, found through its windows.
double residentMegabytes() {
    const std::vector<HWND> windows = wt::KitReader::windows();
    DWORD id = 0;
    if (windows.empty() || !GetWindowThreadProcessId(windows.front(), &id))
        return -1;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    PROCESS_MEMORY_COUNTERS counters{};
    if (process)
        GetProcessMemoryInfo(process, &counters, sizeof counters);
    if (process)
        CloseHandle(process);
    return double(counters.WorkingSetSize) / (1024 * 1024);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100;
    if (FAILED(CoInitialize(nullptr)) || count < 2)
        return 1;
    int status = 1;
    {
        wt::KitStore store;
        wt::KitReader reader;
        std::vector<std::string> messages;
        for (int i = 0; i < count; ++i)
            messages.push_back(store.deliver("Ann Example <ann@example.org>",
                                             "Message " + std::to_string(i),
                                             "Shall we meet\nat noon?"));
        CLSID clsid{};
        Ref<IUnknown> unknown;
        Ref<IDispatch> application;
        VARIANT result;
        VariantInit(&result);
        if (SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, 7, IID_IUnknown, unknown.putAs<void>())))
            unknown->QueryInterface(IID_IDispatch, application.putAs<void>());
        Ref<IDispatch> space;
        if (application &&
            SUCCEEDED(invoke(application.get(), reader::dispidGetNamespace, {L"MAPI"}, &result)))
            space = dispatchOf(result);
        if (space && SUCCEEDED(invoke(space.get(), reader::dispidLogon, {L"", L"", L"", L""}))) {
            double first = 0;
            int shown = 0;
            for (int i = 0; i < count; ++i) {
                if (FAILED(invoke(space.get(), reader::dispidGetItemFromID,
                                  {hex(store.messageId(messages[i])),
                                   hex(devkit::storeEntryId(store.files.uid()))},
                                  &result)))
                    continue;
                Ref<IDispatch> item = dispatchOf(result);
                if (item && SUCCEEDED(invoke(item.get(), reader::dispidDisplay, {})) &&
                    wt::KitReader::waitForWindow("Message " + std::to_string(i)))
                    ++shown;
                if (i == 0) {
                    Sleep(500);
                    first = residentMegabytes();
                }
            }
            Sleep(500);
            const double all = residentMegabytes();
            std::printf("reader server, resident: %.1f MB with 1 window, %.1f MB with %d "
                        "(%d shown): %.2f MB a window\n",
                        first, all, count, shown, (all - first) / (count - 1));
            status = shown == count ? 0 : 1;
        }
        space.reset();
        application.reset();
        unknown.reset();
        wt::KitReader::closeWindows();
    }
    CoUninitialize();
    return status;
}
