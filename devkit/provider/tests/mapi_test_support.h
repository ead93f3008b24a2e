// Helpers for tests that use the provider through mapi32, as a program does: a throwaway store
// per test, the kit's settings, owning references and a sink that records what it is told.
#pragma once
#include <functional>
#include <thread>
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapicode.h>
#include <mapitags.h>

#include "maildir_store.h"

#include <string>
#include <vector>

namespace kit {

// An owning interface pointer.
template <typename T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    template <typename U> U** putAs() { return reinterpret_cast<U**>(put()); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

using Bytes = std::vector<unsigned char>;

// One of the kit's settings (HKCU\Software\MaildirMAPI); an empty value removes it.
void setSetting(const wchar_t* name, const devkit::fs::path& value);
// A directory name of its own in the temporary folder, for a throwaway store.
devkit::fs::path temporaryStoreRoot(const wchar_t* prefix);

// A store directory of its own, the kit's settings pointing at it, and MAPI initialised and
// logged on. The destructor releases and uninitialises, so live-object counts can be checked.
class StoreFixture {
public:
    explicit StoreFixture(const std::string& faults = {}, const std::string& logon = {});
    ~StoreFixture();

    HRESULT initialise();
    HRESULT logon();
    void logoff(); // releases the session and store and uninitialises MAPI

    devkit::MaildirStore& files() { return files_; }
    const devkit::MaildirStore& files() const { return files_; }
    std::string inbox() const { return "IPM_SUBTREE/Inbox"; }
    IMAPISession* session() const { return session_.get(); }
    IMsgStore* store() const { return store_.get(); }
    Bytes messageId(const std::string& folder, const std::string& unique) const;
    Bytes folderId(const std::string& folder) const;

    Ref<IMAPIFolder> openFolder(const Bytes& id) const;
    // Without deferred errors: a message that is gone, or not served, is refused at once.
    Ref<IMessage> openMessage(const Bytes& id) const;
    // Advise on a folder of the store; the connection, or 0.
    ULONG advise(const std::string& folder, ULONG mask, IMAPIAdviseSink* sink);
    // A message delivered by the Maildir protocol; its unique name.
    std::string deliver(const std::string& folder, const std::string& subject);

private:
    devkit::MaildirStore files_;
    Ref<IMAPISession> session_;
    Ref<IMsgStore> store_;
    bool initialised_ = false;
};

// Records the notifications it receives, with copies of their identifiers.
class RecordingSink : public IMAPIAdviseSink {
public:
    struct Received {
        ULONG event;
        ULONG objectType;
        Bytes id, parent, oldParent;
        std::string messageClass;
    };

    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override;

    std::vector<Received> received;
    size_t calls = 0; // OnNotify calls, each with one or more notifications
    DWORD thread = 0; // where OnNotify ran
    ULONG references = 1;
};

// Removes a directory tree from the Linux side, as a sync tool or a shell does: Wine's own
// removal waits for the watcher's handles, a Linux one does not.
bool removeTreeFromLinux(const devkit::fs::path& directory);
// Copies `file` into `directory` under a name that Windows could not make (":2,S", '*'), as a
// Linux mail tool writes it.
bool copyFromLinux(const devkit::fs::path& file, const devkit::fs::path& directory,
                   const std::string& name);
// The kit's failure trace: its latest lines.
std::string failureTrace();
// Makes `link` a Linux symbolic link to `target`, as a user of the store may.
bool symlinkFromLinux(const devkit::fs::path& target, const devkit::fs::path& link);
// A named pipe (FIFO) made on the Linux side; reading it blocks until a writer comes.
bool fifoFromLinux(const devkit::fs::path& fifo);
// Runs `swap` once the kit holds a read between its check and its reading (the fault point
// File::read, switched on by the caller), then lets the read go on; on a thread of its own,
// while the caller makes the call that reads. join() waits for it.
std::thread swapWhileReadIsHeld(std::function<void()> swap);

Bytes bytesOf(const SBinary& binary);
Bytes bytesOf(ULONG size, const ENTRYID* id);
// MAPI live counters of the provider, through its diagnostic exports.
long providerLiveObjects();
long providerLiveBuffers();
// The provider's FlushQueues calls since MAPI was first initialised: "NAME 0xFLAGS 0xRESULT".
std::vector<std::string> providerFlushLog();

} // namespace kit
