// The installer that Windows users run, tried in a fresh prefix: a silent installation, an
// upgrade over the running program and a silent uninstallation; and the version that every
// shipped program carries. scripts/test.sh packages once and names what it made in
// TAVINEL_SETUP (the x64 setup program), TAVINEL_VERSION and TAVINEL_UNPACKED (the zips'
// contents, one folder per bitness).
#include "kit_store.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace {

constexpr char uninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavinel";
constexpr char runKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char settingsKey[] = "Software\\Brunok\\Tavinel";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string shellFolder(int folder) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::optional<std::string> registryText(const char* key, const char* name) {
    char data[2048] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &size))
        return std::nullopt;
    return std::string(data);
}

std::optional<DWORD> registryNumber(const char* key, const char* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size))
        return std::nullopt;
    return value;
}

bool keyExists(const char* key) {
    HKEY handle{};
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle))
        return false;
    RegCloseKey(handle);
    return true;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

std::string lower(std::string text) {
    CharLowerA(text.data());
    return text;
}

// The target of a shell link, read as the shell reads it.
std::string shortcutTarget(const std::string& link) {
    CoInitialize(nullptr);
    std::string target;
    IShellLinkA* shellLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
        IPersistFile* file = nullptr;
        std::wstring wide(link.begin(), link.end());
        if (SUCCEEDED(
                shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
                char path[MAX_PATH] = {};
                if (shellLink->GetPath(path, MAX_PATH, nullptr, 0) == S_OK)
                    target = path;
            }
            file->Release();
        }
        shellLink->Release();
    }
    CoUninitialize();
    return target;
}

// What the file's VERSIONINFO says: a string of its first translation, or the fixed file and
// product versions as "a.b.c.d" (under "FIXED-FILE" and "FIXED-PRODUCT").
std::string versionInfo(const std::string& file, const std::string& name) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(file.c_str(), &ignored));
    if (data.empty() || !GetFileVersionInfoA(file.c_str(), 0, DWORD(data.size()), data.data()))
        return "(no VERSIONINFO)";
    void* value = nullptr;
    UINT size = 0;
    if (name.starts_with("FIXED-")) {
        if (!VerQueryValueA(data.data(), "\\", &value, &size))
            return "(no fixed part)";
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        const bool product = name == "FIXED-PRODUCT";
        const DWORD high = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
        const DWORD low = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
        return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
               std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
    }
    struct Translation {
        WORD language, codePage;
    };
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &size) ||
        size < sizeof(Translation))
        return "(no translation)";
    const auto* translation = static_cast<const Translation*>(value);
    char path[128];
    wsprintfA(path, "\\StringFileInfo\\%04x%04x\\%s", translation->language, translation->codePage,
              name.c_str());
    if (!VerQueryValueA(data.data(), path, &value, &size) || size == 0)
        return "(no " + name + ")";
    return static_cast<const char*>(value);
}

// The processes that run a file named tavinel.exe, with the paths of their files.
struct RunningProgram {
    DWORD id;
    std::string image;
};
std::vector<RunningProgram> runningPrograms() {
    std::vector<RunningProgram> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "tavinel.exe") != 0)
            continue;
        char image[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process) {
            QueryFullProcessImageNameA(process, 0, image, &size);
            CloseHandle(process);
        }
        found.push_back({entry.th32ProcessID, image});
    }
    CloseHandle(snapshot);
    return found;
}

// Waits for the processes that this (ended) process started, as a shell waits for an uninstaller
// that runs on from a copy of itself so that it can remove its own file.
bool waitForChildren(DWORD parent, DWORD timeoutMs) {
    std::vector<HANDLE> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent)
            if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID))
                children.push_back(child);
    CloseHandle(snapshot);
    bool ended = true;
    for (HANDLE child : children) {
        ended =
            ended && wt::pumpUntil([&] { return WaitForSingleObject(child, 0) == 0; }, timeoutMs);
        CloseHandle(child);
    }
    return ended;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(setup.empty() || version.empty())
            << "run by scripts/test.sh, which sets TAVINEL_SETUP and TAVINEL_VERSION";
        key.writeValid();
        // A user without Tavinel installed; files of an earlier test may remain.
        RegDeleteKeyA(HKEY_CURRENT_USER, uninstallKey);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, runKey, "Tavinel");
    }
    // Whatever a failed test left running would stand in the next one's way.
    void TearDown() override {
        for (const RunningProgram& program : runningPrograms()) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, program.id);
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }

    // Runs the setup program and waits for it to end.
    void install(const std::string& arguments = "/S") {
        wt::Process installer(setup, arguments);
        ASSERT_EQ(installer.waitForExit(60000), std::optional<DWORD>(0))
            << setup << " " << arguments;
    }

    const std::string setup = environment("TAVINEL_SETUP");
    const std::string version = environment("TAVINEL_VERSION");
    const std::string folder = shellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Tavinel";
    const std::string exe = folder + "\\tavinel.exe";
    const std::string shortcut = shellFolder(CSIDL_PROGRAMS) + "\\Tavinel.lnk";
    wt::ConfigurationKey key;
    wt::KitStore store;
};

TEST_F(Installer, SilentInstallationIsCompleteAndItsProgramAnnouncesMail) {
    install();
    EXPECT_EQ(joined(filesIn(folder)), "README.txt tavinel.exe uninstall.exe");
    EXPECT_EQ(lower(shortcutTarget(shortcut)), lower(exe));
    EXPECT_EQ(registryText(runKey, "Tavinel"), "\"" + exe + "\"")
        << "quoted: the path may hold blanks";

    const std::string uninstaller = "\"" + folder + "\\uninstall.exe\"";
    EXPECT_EQ(registryText(uninstallKey, "DisplayName"), "Tavinel (64-bit)");
    EXPECT_EQ(registryText(uninstallKey, "DisplayVersion"), version);
    EXPECT_EQ(registryText(uninstallKey, "DisplayIcon"), exe);
    EXPECT_EQ(registryText(uninstallKey, "InstallLocation"), folder);
    EXPECT_EQ(registryText(uninstallKey, "UninstallString"), uninstaller);
    EXPECT_EQ(registryText(uninstallKey, "QuietUninstallString"), uninstaller + " /S");
    auto kilobytes = registryNumber(uninstallKey, "EstimatedSize");
    ASSERT_TRUE(kilobytes.has_value());
    EXPECT_GE(*kilobytes, fileSize(exe) / 1024);
    EXPECT_LT(*kilobytes, 2 * fileSize(exe) / 1024);

    std::unique_ptr<wt::Process> program;
    HWND window = wt::startProgram(program, exe);
    ASSERT_NE(window, nullptr);
    store.deliver("Ann Example <ann@example.org>", "Installed and watching", "Hello");
    EXPECT_TRUE(wt::pumpUntil(
        [&] { return wt::controlText(window, IDC_SUBJECT) == "Installed and watching"; }));
    wt::exitProgram(program, window);
}

TEST_F(Installer, UpgradeEndsTheRunningProgramAndStartsTheNewOne) {
    install();
    const long long shipped = fileSize(exe);
    // The program that runs is told apart from the one the upgrade brings by a longer file.
    std::ofstream(exe, std::ios::app | std::ios::binary) << "an older build";
    std::unique_ptr<wt::Process> old;
    ASSERT_NE(wt::startProgram(old, exe), nullptr);
    // As when "Start Tavinel when I log on" was unchecked at the installation.
    RegDeleteKeyValueA(HKEY_CURRENT_USER, runKey, "Tavinel");

    install();
    EXPECT_EQ(old->waitForExit(1000), std::optional<DWORD>(0)) << "ended through its Exit command";
    HWND window = wt::waitForWindow("Tavinel 2.0", 0, 15000);
    ASSERT_NE(window, nullptr) << "started again";
    wt::pumpFor(2000); // a second instance would have shown itself by now
    auto running = runningPrograms();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_NE(running[0].id, old->id());
    EXPECT_EQ(lower(running[0].image), lower(exe));
    EXPECT_EQ(fileSize(exe), shipped) << "runs the new file";
    EXPECT_FALSE(registryText(runKey, "Tavinel").has_value()) << "the choice made before, kept";
}

TEST_F(Installer, SilentUninstallationRemovesAllButTheSettings) {
    const std::string chosen = "C:\\Mail Tools\\Tavinel"; // a folder of one's own, with a blank
    install("/S /D=" + chosen);
    const std::string chosenExe = chosen + "\\tavinel.exe";
    ASSERT_TRUE(exists(chosenExe));
    EXPECT_EQ(registryText(runKey, "Tavinel"), "\"" + chosenExe + "\"");
    std::unique_ptr<wt::Process> program;
    ASSERT_NE(wt::startProgram(program, chosenExe), nullptr);

    const std::string uninstaller = chosen + "\\uninstall.exe";
    ASSERT_EQ(registryText(uninstallKey, "QuietUninstallString"), "\"" + uninstaller + "\" /S");
    wt::Process uninstall(uninstaller, "/S");
    ASSERT_EQ(uninstall.waitForExit(20000), std::optional<DWORD>(0));
    ASSERT_TRUE(waitForChildren(uninstall.id(), 30000));
    EXPECT_EQ(program->waitForExit(0), std::optional<DWORD>(0)) << "ended by the uninstaller";
    EXPECT_FALSE(exists(chosen)) << "left: " << joined(filesIn(chosen));
    EXPECT_FALSE(exists(shortcut));
    EXPECT_FALSE(registryText(runKey, "Tavinel").has_value());
    EXPECT_FALSE(keyExists(uninstallKey));
    EXPECT_EQ(registryNumber(settingsKey, "Version"), std::optional<DWORD>(12)) << "settings kept";
}

TEST_F(Installer, UninstallationAskedNotToKeepTheSettingsRemovesThem) {
    install();
    wt::Process uninstall(folder + "\\uninstall.exe");
    ASSERT_EQ(uninstall.waitForExit(20000), std::optional<DWORD>(0));
    HWND confirmation = wt::waitForDialog("Tavinel Uninstall ", 0, 20000); // with a blank
    ASSERT_NE(confirmation, nullptr);
    wt::clickButton(confirmation, IDOK); // Uninstall
    HWND question = wt::waitForDialog("Tavinel Uninstall", 0, 20000);
    ASSERT_NE(question, nullptr);
    wt::clickButton(question, IDNO);
    EXPECT_TRUE(wt::pumpUntil([&] { return !keyExists(settingsKey); }, 20000));
    ASSERT_TRUE(wt::pumpUntil([&] { return wt::isEnabled(confirmation, IDOK); }, 20000));
    wt::clickButton(confirmation, IDOK); // Close, on the last page
    ASSERT_TRUE(waitForChildren(uninstall.id(), 30000));
    EXPECT_FALSE(exists(folder)) << "left: " << joined(filesIn(folder));
    EXPECT_FALSE(keyExists("Software\\Brunok")) << "nothing else was in it";
}

// Explorer's properties and the uninstall entry show the version of the project.
TEST(ShippedFiles, CarryTheVersion) {
    const std::string version = environment("TAVINEL_VERSION");
    const std::string unpacked = environment("TAVINEL_UNPACKED");
    ASSERT_FALSE(version.empty() || unpacked.empty());
    for (const std::string& file :
         {unpacked + "\\x64\\tavinel.exe", unpacked + "\\x86\\tavinel.exe",
          environment("TAVINEL_SETUP")}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(versionInfo(file, "FileVersion"), version);
        EXPECT_EQ(versionInfo(file, "ProductVersion"), version);
        EXPECT_EQ(versionInfo(file, "FIXED-FILE"), version + ".0");
        EXPECT_EQ(versionInfo(file, "FIXED-PRODUCT"), version + ".0");
        EXPECT_EQ(versionInfo(file, "ProductName"), "Tavinel");
        EXPECT_NE(versionInfo(file, "FileDescription").find("Tavinel"), std::string::npos);
    }
}

} // namespace
