#include "mapi_test_support.h"

#include <functional>
#include <random>
#include <sstream>

namespace kit {

void setSetting(const wchar_t* name, const devkit::fs::path& value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\MaildirMAPI", 0, nullptr, 0, KEY_WRITE, nullptr,
                    &key, nullptr);
    const std::wstring& wide = value.native();
    if (wide.empty())
        RegDeleteValueW(key, name);
    else
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       DWORD((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

devkit::fs::path temporaryStoreRoot(const wchar_t* prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + prefix + std::to_wstring(std::random_device{}());
}

StoreFixture::StoreFixture(const std::string& faults, const std::string& logon)
    : files_(temporaryStoreRoot(L"maildir-kit-")) {
    files_.createStandardLayout();
    setSetting(L"StoreRoot", files_.root());
    setSetting(L"Faults", faults);
    setSetting(L"Logon", logon);
}

StoreFixture::~StoreFixture() {
    logoff();
    devkit::removeDirectoryTree(files_.root());
    for (const wchar_t* name : {L"Faults", L"Logon", L"Stores", L"Transports", L"Status",
                                L"ReminderLinger", L"Notifications", L"NotifyInCalls"})
        setSetting(name, "");
}

HRESULT StoreFixture::initialise() {
    const HRESULT result = MAPIInitialize(nullptr);
    initialised_ = SUCCEEDED(result);
    return result;
}

HRESULT StoreFixture::logon() {
    if (!initialised_)
        if (const HRESULT result = initialise(); FAILED(result))
            return result;
    HRESULT result = MAPILogonEx(0, nullptr, nullptr,
                                 MAPI_LOGON_UI | MAPI_EXTENDED | MAPI_USE_DEFAULT, session_.put());
    if (FAILED(result))
        return result;
    const Bytes id = devkit::storeEntryId(files_.uid());
    return session_->OpenMsgStore(0, ULONG(id.size()),
                                  reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data())),
                                  nullptr, MDB_WRITE, store_.put());
}

void StoreFixture::logoff() {
    store_.reset();
    session_.reset();
    if (initialised_)
        MAPIUninitialize();
    initialised_ = false;
}

Bytes StoreFixture::messageId(const std::string& folder, const std::string& unique) const {
    return devkit::messageEntryId(files_.uid(), folder, unique);
}

Bytes StoreFixture::folderId(const std::string& folder) const {
    return devkit::folderEntryId(files_.uid(), folder);
}

Ref<IMAPIFolder> StoreFixture::openFolder(const Bytes& id) const {
    Ref<IMAPIFolder> folder;
    ULONG type = 0;
    store_->OpenEntry(ULONG(id.size()),
                      reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data())), nullptr,
                      MAPI_MODIFY, &type, folder.putAs<IUnknown>());
    return folder;
}

Ref<IMessage> StoreFixture::openMessage(const Bytes& id) const {
    Ref<IMessage> message;
    ULONG type = 0;
    store_->OpenEntry(ULONG(id.size()),
                      reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data())), nullptr,
                      MAPI_MODIFY, &type, message.putAs<IUnknown>());
    return message;
}

ULONG StoreFixture::advise(const std::string& folder, ULONG mask, IMAPIAdviseSink* sink) {
    const Bytes id = folderId(folder);
    ULONG connection = 0;
    store_->Advise(ULONG(id.size()),
                   reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data())), mask, sink,
                   &connection);
    return connection;
}

std::string StoreFixture::deliver(const std::string& folder, const std::string& subject) {
    return files_.deliver(folder, devkit::composeMessage("a@b", "", subject, "Hello", 0));
}

STDMETHODIMP_(ULONG) RecordingSink::OnNotify(ULONG count, LPNOTIFICATION notifications) {
    thread = GetCurrentThreadId();
    ++calls;
    for (ULONG i = 0; i < count; ++i) {
        const NOTIFICATION& n = notifications[i];
        Received r{n.ulEventType, 0, {}, {}, {}, {}};
        if (n.ulEventType == fnevNewMail) {
            r.objectType = MAPI_MESSAGE;
            r.id = bytesOf(n.info.newmail.cbEntryID, n.info.newmail.lpEntryID);
            r.parent = bytesOf(n.info.newmail.cbParentID, n.info.newmail.lpParentID);
            r.messageClass = n.info.newmail.lpszMessageClass ? n.info.newmail.lpszMessageClass : "";
        } else {
            r.objectType = n.info.obj.ulObjType;
            r.id = bytesOf(n.info.obj.cbEntryID, n.info.obj.lpEntryID);
            r.parent = bytesOf(n.info.obj.cbParentID, n.info.obj.lpParentID);
            r.oldParent = bytesOf(n.info.obj.cbOldParentID, n.info.obj.lpOldParentID);
        }
        received.push_back(std::move(r));
    }
    return S_OK;
}

namespace {

std::wstring unixPath(const devkit::fs::path& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    std::wstring wide;
    for (const char* c = name; c && *c; ++c)
        wide += wchar_t(static_cast<unsigned char>(*c)); // test paths: ASCII, no spaces
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return wide;
}

// Runs a Linux program: Wine starts one given by its path like a Windows program, but does
// not wait for its end, so the caller waits for its work.
bool runLinux(const wchar_t* program, std::wstring command, const std::function<bool()>& done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 3000 && !done(); ++i) // a busy machine may take seconds to start it
        Sleep(10);
    return done();
}

} // namespace

bool removeTreeFromLinux(const devkit::fs::path& directory) {
    const std::wstring path = unixPath(directory);
    return !path.empty() && runLinux(L"Z:\\bin\\rm", L"/bin/rm -rf " + path, [&] {
        std::error_code error;
        return !std::filesystem::exists(directory, error);
    });
}

bool copyFromLinux(const devkit::fs::path& file, const devkit::fs::path& directory,
                   const std::string& name) {
    const std::wstring from = unixPath(file), to = unixPath(directory);
    const auto count = [&] {
        size_t files = 0;
        std::error_code error;
        for (auto it = std::filesystem::directory_iterator(directory, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            ++files;
        return files;
    };
    const size_t before = count();
    return !from.empty() && !to.empty() &&
           runLinux(L"Z:\\bin\\cp",
                    L"/bin/cp " + from + L" " + to + L"/" + std::wstring(name.begin(), name.end()),
                    [&] { return count() > before; });
}

std::string failureTrace() {
    using Trace = unsigned long(WINAPI*)(char*, unsigned long);
    const auto trace = reinterpret_cast<Trace>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"maildirmapi.dll"), "MaildirFailureTrace")));
    char text[4096] = {};
    if (trace)
        trace(text, sizeof text);
    return text;
}

bool symlinkFromLinux(const devkit::fs::path& target, const devkit::fs::path& link) {
    const std::wstring from = unixPath(target), to = unixPath(link);
    return !from.empty() && !to.empty() &&
           runLinux(L"Z:\\bin\\ln", L"/bin/ln -s " + from + L" " + to, [&] {
               std::error_code error;
               return std::filesystem::exists(link, error);
           });
}

bool fifoFromLinux(const devkit::fs::path& fifo) {
    const std::wstring path = unixPath(fifo);
    return !path.empty() && runLinux(L"Z:\\usr\\bin\\mkfifo", L"/usr/bin/mkfifo " + path, [&] {
        // Wine answers no attributes for a FIFO: it is found by listing its directory.
        std::error_code error;
        for (auto it = std::filesystem::directory_iterator(fifo.parent_path(), error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            if (it->path().filename() == fifo.filename())
                return true;
        return false;
    });
}

std::thread swapWhileReadIsHeld(std::function<void()> swap) {
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadHeldEvent);
    HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadResumeEvent);
    ResetEvent(held);
    ResetEvent(resume);
    return std::thread([=] {
        if (WaitForSingleObject(held, 30000) == WAIT_OBJECT_0)
            swap();
        SetEvent(resume);
        CloseHandle(held);
        CloseHandle(resume);
    });
}

Bytes bytesOf(const SBinary& binary) {
    return Bytes(binary.lpb, binary.lpb + binary.cb);
}

Bytes bytesOf(ULONG size, const ENTRYID* id) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(id);
    return id ? Bytes(bytes, bytes + size) : Bytes();
}

namespace {
long callCounter(const char* name) {
    using Counter = long(WINAPI*)();
    HMODULE provider = GetModuleHandleW(L"maildirmapi.dll");
    FARPROC counter = provider ? GetProcAddress(provider, name) : nullptr;
    return counter ? reinterpret_cast<Counter>(reinterpret_cast<void*>(counter))() : -1;
}
} // namespace

long providerLiveObjects() {
    return callCounter("MaildirLiveObjects");
}
long providerLiveBuffers() {
    return callCounter("MaildirLiveBuffers");
}

std::vector<std::string> providerFlushLog() {
    using Log = ULONG(WINAPI*)(char*, ULONG);
    HMODULE provider = GetModuleHandleW(L"maildirmapi.dll");
    FARPROC export_ = provider ? GetProcAddress(provider, "MaildirFlushLog") : nullptr;
    if (!export_)
        return {};
    const auto read = reinterpret_cast<Log>(reinterpret_cast<void*>(export_));
    std::string text(read(nullptr, 0) + 1, '\0');
    text.resize(read(text.data(), ULONG(text.size())));
    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);)
        lines.push_back(line);
    return lines;
}

} // namespace kit
