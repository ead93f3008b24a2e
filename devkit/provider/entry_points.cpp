// The functions that mapi32 forwards to a mail provider, and the provider's registration.
#include "allocator.h"
#include "faults.h"
#include "notifier.h"
#include "reader_registration.h"
#include "session.h"
#include "settings.h"
#include "threads.h"

#include <cstring>
#include <map>
#include <mutex>

namespace maildir {
HINSTANCE providerModule = nullptr;
std::atomic<long> liveObjects{0};
} // namespace maildir

using namespace maildir;

namespace {

constexpr wchar_t clientsKey[] = L"Software\\Clients\\Mail";
constexpr wchar_t clientName[] = L"MaildirMAPI";

std::mutex lock;
int initializations = 0;
Settings settings;
std::map<std::wstring, std::weak_ptr<Store>> stores; // one Store per directory

std::shared_ptr<Store> openStore(const std::wstring& root) {
    if (auto open = stores[root].lock())
        return open;
    const std::string calendar =
        settings.calendarFolder.empty() ? devkit::calendarFolderName : settings.calendarFolder;
    if (GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES)
        devkit::MaildirStore(devkit::fs::path(root)).createStandardLayout(calendar);
    auto store = std::make_shared<Store>(root);
    store->calendarFolder = devkit::MaildirStore::pathFromDisplayNames(
        std::string(devkit::ipmSubtreeName) + "/" + calendar);
    if (settings.reminderLinger >= 0)
        store->reminderLinger = settings.reminderLinger;
    store->names().refuseListing = _wcsicmp(settings.nameListing.c_str(), L"refuse") == 0;
    stores[root] = store;
    return store;
}

} // namespace

// mapi32 loads the provider while it holds the loader lock: nothing but remembering the module.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        providerModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI MAPIInitialize(LPVOID options) {
    std::lock_guard guard(lock);
    if (initializations == 0) {
        settings = readSettings();
        loadFaults(settings.faults);
        clearFlushLog();
        followFaultSetting(settingsKey);
        holdReadsOnFault();
        setThreadRules({.strict = _wcsicmp(settings.strictThreads.c_str(), L"off") != 0,
                        .marshal = _wcsicmp(settings.foreignThreadCalls.c_str(), L"marshal") == 0});
        setCallGate(&admitCall);
        Notifier::instance().configure(settings.notifyOnWatcherThread, settings.notifyInCalls);
    }
    MAILDIR_FAULT_POINT("MAPIInitialize");
    // Only the first initialisation of the process chooses how notifications are delivered
    // (and on which thread); the others only make their threads ready for MAPI.
    if (initializations == 0) {
        const ULONG flags = options ? static_cast<MAPIINIT_0*>(options)->ulFlags : 0;
        if (const HRESULT result =
                Notifier::instance().start(flags & MAPI_MULTITHREAD_NOTIFICATIONS);
            FAILED(result))
            return result;
    }
    ++initializations;
    threadInitialized();
    return S_OK;
}

STDAPI_(void) MAPIUninitialize() {
    std::lock_guard guard(lock);
    threadUninitialized();
    if (initializations > 0 && --initializations == 0)
        Notifier::instance().stop();
}

STDAPI MAPILogonEx(ULONG_PTR, LPTSTR, LPTSTR, ULONG, LPMAPISESSION* session) {
    std::lock_guard guard(lock);
    if (!session)
        return MAPI_E_INVALID_PARAMETER;
    *session = nullptr;
    if (initializations == 0)
        return MAPI_E_NOT_INITIALIZED;
    MAILDIR_FAULT_POINT("MAPILogonEx");
    if (_wcsicmp(settings.logon.c_str(), L"cancel") == 0)
        return MAPI_E_USER_CANCEL;
    if (_wcsicmp(settings.logon.c_str(), L"fail") == 0)
        return MAPI_E_LOGON_FAILED;
    try {
        const StoresTable stores =
            _wcsicmp(settings.stores.c_str(), L"empty") == 0       ? StoresTable::empty
            : _wcsicmp(settings.stores.c_str(), L"nodefault") == 0 ? StoresTable::noDefault
                                                                   : StoresTable::defaultStore;
        *session = make<Session>(
            openStore(settings.storeRoot), stores,
            std::make_shared<const std::vector<MailDrop>>(parseMailDrops(settings.transports)),
            _wcsicmp(settings.status.c_str(), L"empty") == 0);
    } catch (const std::exception&) {
        return MAPI_E_LOGON_FAILED; // the store's directory cannot be made or read
    }
    return *session ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

STDAPI_(SCODE) MAPIAllocateBuffer(ULONG size, LPVOID* buffer) {
    MAILDIR_FAULT_POINT("MAPIAllocateBuffer");
    return allocateBuffer(size, buffer);
}

STDAPI_(SCODE) MAPIAllocateMore(ULONG size, LPVOID base, LPVOID* buffer) {
    MAILDIR_FAULT_POINT("MAPIAllocateMore");
    return allocateMore(size, base, buffer);
}

STDAPI_(ULONG) MAPIFreeBuffer(LPVOID buffer) {
    return freeBuffer(buffer);
}

STDAPI MAPIAdminProfiles(ULONG, LPPROFADMIN*) {
    return MAPI_E_NO_SUPPORT;
}

// For the tests' leak checks.
extern "C" long WINAPI MaildirLiveObjects() {
    return liveObjects;
}
extern "C" long WINAPI MaildirLiveBuffers() {
    return liveBuffers();
}
// For the tests: the status objects' FlushQueues calls (see status.h), copied into `buffer`
// with a terminator when it is large enough; the length of the whole log.
extern "C" ULONG WINAPI MaildirFlushLog(char* buffer, ULONG size) {
    const std::string log = flushLog();
    if (buffer && size > log.size())
        std::memcpy(buffer, log.c_str(), log.size() + 1);
    return ULONG(log.size());
}

// regsvr32: makes this DLL the system's mail provider, the way mapi32 looks for one, and the
// reader beside it the mail client's application object.
STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(providerModule, path, MAX_PATH);
    HKEY clients = nullptr, client = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, clientsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &clients,
                        nullptr) != ERROR_SUCCESS)
        return E_ACCESSDENIED;
    RegSetValueExW(clients, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clientName),
                   sizeof clientName);
    HRESULT result = E_ACCESSDENIED;
    if (RegCreateKeyExW(clients, clientName, 0, nullptr, 0, KEY_WRITE, nullptr, &client, nullptr) ==
        ERROR_SUCCESS) {
        constexpr wchar_t description[] = L"Maildir MAPI store";
        RegSetValueExW(client, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(description),
                       sizeof description);
        if (RegSetValueExW(client, L"DLLPathEx", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           DWORD((wcslen(path) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS)
            result = S_OK;
        RegCloseKey(client);
    }
    RegCloseKey(clients);
    return SUCCEEDED(result) ? registerReader(path) : result;
}

STDAPI DllUnregisterServer() {
    unregisterReader();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Clients\\Mail\\MaildirMAPI");
    HKEY clients = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, clientsKey, 0, KEY_WRITE, &clients) == ERROR_SUCCESS) {
        RegDeleteValueW(clients, nullptr);
        RegCloseKey(clients);
    }
    return S_OK;
}
