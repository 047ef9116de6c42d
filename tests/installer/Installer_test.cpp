// Cryptelle.msi through its whole life in a prefix of its own: installed with msiexec, used
// through the registry it wrote (COM creation of the shell extensions, a context-menu command
// reaching the installed folder), upgraded by a later version, and removed. The cases are the
// stages of one installation and run in the order they are declared.
#include <windows.h>
#include <msi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DropDataObject.h"
#include "RunAndWait_win.h"

using testing_support::RunAndWait;

namespace {

const std::wstring kParent = L"C:\\Program Files\\Halvard";
const std::wstring kFolder = kParent + L"\\Cryptelle";
constexpr wchar_t kUpgradeCode[] = L"{03BF6580-6742-427C-B063-1FA0828D8F56}";
constexpr wchar_t kBrisa[] = L"{D1D0C6B8-ABD2-4EC8-9AEF-BA3E0E516126}";
constexpr wchar_t kLunet[] = L"{6EB9CFA7-B6C9-49F5-A3F0-986255E60F27}";
constexpr CLSID CLSID_Brisa = {0xD1D0C6B8, 0xABD2, 0x4EC8, {0x9A, 0xEF, 0xBA, 0x3E, 0x0E, 0x51, 0x61, 0x26}};
constexpr CLSID CLSID_Lunet = {0x6EB9CFA7, 0xB6C9, 0x49F5, {0xA3, 0xF0, 0x98, 0x62, 0x55, 0xE6, 0x0F, 0x27}};
constexpr wchar_t kMenuComponent[] = L"{E6A2CA6A-5A78-496C-97A0-7589090A2AA6}";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kDeliverables[] = {L"Ardex.exe", L"Tamsel.exe", L"Corvik.exe",
                                        L"Brisa.dll", L"Lunet.dll",  L"Pellin.dll"};
const wchar_t* const kRecorders[] = {L"Raspel", L"Sorvane", L"Dunrique"};

struct RegistryEntry {
    HKEY root;
    std::wstring key;
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring data;
};

// What the shell needs to find the extensions and what they read, as the installer writes it.
std::vector<RegistryEntry> Registration() {
    const std::wstring approved = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    std::vector<RegistryEntry> entries = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvard\\Cryptelle\\2.00", L"InstallPath", kFolder},
    };
    for (const auto& [name, id] : {std::pair{L"Brisa", kBrisa}, std::pair{L"Lunet", kLunet}}) {
        const std::wstring clsid = std::wstring(L"CLSID\\") + id;
        entries.push_back({HKEY_CLASSES_ROOT, clsid, nullptr, name});
        entries.push_back({HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, kFolder + L"\\" + name + L".dll"});
        entries.push_back({HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
        entries.push_back({HKEY_CLASSES_ROOT, std::wstring(L"*\\shellex\\ContextMenuHandlers\\") + name, nullptr, id});
        entries.push_back(
            {HKEY_CLASSES_ROOT, std::wstring(L"Directory\\shellex\\ContextMenuHandlers\\") + name, nullptr, id});
        entries.push_back({HKEY_LOCAL_MACHINE, approved, id, name});
    }
    return entries;
}

std::wstring TestFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

DWORD Msiexec(const std::wstring& arguments) {
    return RunAndWait(L"msiexec.exe " + arguments + L" /qn");
}

std::wstring Package(const wchar_t* name) { return L"\"" + TestFolder() + L"\\" + name + L"\""; }

std::wstring ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return L"<none>";
    return text;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Contents(const std::wstring& folder) {
    std::wstring names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) {
            names += L" " + std::wstring(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}


std::wstring ShortcutTarget(const std::wstring& link) {
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
        return L"<no shell link>";
    }
    std::wstring target = L"<unreadable>";
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0))) {
            target = path;
        }
        file->Release();
    }
    shellLink->Release();
    return target;
}

// Products of this upgrade code, as Windows Installer lists them, with their versions.
std::vector<std::wstring> InstalledVersions() {
    std::vector<std::wstring> versions;
    wchar_t product[39] = {};
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, product) == ERROR_SUCCESS; ++i) {
        wchar_t version[64] = {};
        DWORD size = 64;
        MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        versions.push_back(version);
    }
    return versions;
}

// The Start-menu folder as the installer resolved it (Windows puts a per-machine installation's
// shortcuts in the common menu, Wine in the user's), through the shortcut's component.
std::wstring MenuFolder() {
    wchar_t product[39] = {};
    if (MsiEnumRelatedProductsW(kUpgradeCode, 0, 0, product) != ERROR_SUCCESS) return L"<not installed>";
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (MsiGetComponentPathW(product, kMenuComponent, path, &size) != INSTALLSTATE_LOCAL) return L"<no menu folder>";
    std::wstring folder = path;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

// Entries named Cryptelle in the list of installed programs the control panel shows.
int UninstallEntries() {
    const std::wstring uninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstall.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    int count = 0;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, uninstall + L"\\" + name, L"DisplayName") == L"Cryptelle") ++count;
    }
    RegCloseKey(key);
    return count;
}

// Keys that belong to the suite alone: the uninstallation leaves none of them behind.
std::vector<std::pair<HKEY, std::wstring>> OwnKeys() {
    std::vector<std::pair<HKEY, std::wstring>> keys = {{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvard"}};
    for (const auto& [name, id] : {std::pair{L"Brisa", kBrisa}, std::pair{L"Lunet", kLunet}}) {
        keys.push_back({HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + id});
        keys.push_back({HKEY_CLASSES_ROOT, std::wstring(L"*\\shellex\\ContextMenuHandlers\\") + name});
        keys.push_back({HKEY_CLASSES_ROOT, std::wstring(L"Directory\\shellex\\ContextMenuHandlers\\") + name});
    }
    return keys;
}

// The first line a recorder in the installed folder logged, waiting for its start.
std::wstring WaitForRecorderLine(const wchar_t* program) {
    const std::wstring log = kFolder + L"\\" + program + L".log";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string bytes = ReadFileBytes(log);
        if (bytes != "<missing>") {
            const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
            const size_t end = text.find(L'\n');
            if (end != std::wstring::npos) return text.substr(0, end);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return L"<not started>";
}

class InstallerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Msiexec(L"/i " + Package(L"Cryptelle.msi")), 0u);
    }
    static void TearDownTestSuite() { CoUninitialize(); }

    // Everything a working installation has, after the first installation and after an upgrade.
    static void ExpectInstalled() {
        for (const wchar_t* name : kDeliverables) {
            EXPECT_EQ(ReadFileBytes(kFolder + L"\\" + name), ReadFileBytes(TestFolder() + L"\\expected\\" + name))
                << "installed " << name;
        }
        for (const RegistryEntry& entry : Registration()) {
            EXPECT_EQ(ReadRegistryString(entry.root, entry.key, entry.name), entry.data)
                << entry.key << " " << (entry.name ? entry.name : L"@");
        }
        EXPECT_EQ(ShortcutTarget(MenuFolder() + L"\\Tamsel.lnk"), kFolder + L"\\Tamsel.exe");
    }
};

TEST_F(InstallerTest, InstallsTheSuiteAndRegistersItsFolder) {
    ExpectInstalled();
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{CRYPTELLE_VERSION});
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, L"Tamsel"), L"<none>") << "start at logon is opt-in";
}

TEST_F(InstallerTest, ContextMenuCommandsStartProgramsOfTheInstalledFolder) {
    // Stand-ins for the programs the extensions start; they are not the installer's, so the
    // case takes them away again before the folder's removal is judged.
    for (const wchar_t* program : kRecorders) {
        const std::wstring name = std::wstring(program) + L".exe";
        ASSERT_TRUE(CopyFileW((TestFolder() + L"\\recorders\\" + name).c_str(), (kFolder + L"\\" + name).c_str(), FALSE));
    }
    const std::wstring items = L"C:\\Items";
    CreateDirectoryW(items.c_str(), nullptr);
    WriteFileBytes(items + L"\\report.txt", "plain");
    WriteFileBytes(items + L"\\report.chy", "image");

    struct Case {
        const CLSID* classId;
        std::wstring path;
        const wchar_t* program;
    };
    const Case cases[] = {
        {&CLSID_Brisa, items + L"\\report.txt", L"Raspel"},
        {&CLSID_Lunet, items + L"\\report.txt", L"Sorvane"},
        {&CLSID_Lunet, items + L"\\report.chy", L"Dunrique"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.program);
        IContextMenu* menu = nullptr;
        ASSERT_EQ(CoCreateInstance(*c.classId, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                   reinterpret_cast<void**>(&menu)),
                  S_OK);
        IShellExtInit* init = nullptr;
        ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
        DropDataObject data({c.path});
        EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
        init->Release();
        HMENU popup = CreatePopupMenu();
        EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(0);
        info.nShow = SW_SHOWNORMAL;
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
        DestroyMenu(popup);
        menu->Release();
        EXPECT_EQ(WaitForRecorderLine(c.program), kFolder + L"\\" + c.program + L".exe " + c.path + L"*");
    }

    for (const wchar_t* program : kRecorders) {
        DeleteFileW((kFolder + L"\\" + program + L".exe").c_str());
        DeleteFileW((kFolder + L"\\" + program + L".log").c_str());
    }
    // As the shell would once idle: libraries without live objects are unloaded, so the
    // uninstallation can delete them.
    CoFreeUnusedLibrariesEx(0, 0);
    for (const wchar_t* library : {L"Brisa.dll", L"Lunet.dll"}) {
        EXPECT_EQ(GetModuleHandleW((kFolder + L"\\" + library).c_str()), nullptr) << library << " still loaded";
    }
}

TEST_F(InstallerTest, UpgradeReplacesTheOlderVersion) {
    // The later version with every feature, so starting at logon is written too.
    ASSERT_EQ(Msiexec(L"/i " + Package(L"Cryptelle-next.msi") + L" ADDLOCAL=ALL"), 0u);
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{CRYPTELLE_NEXT_VERSION});
    EXPECT_EQ(UninstallEntries(), 1);
    ExpectInstalled();
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, L"Tamsel"), L"\"" + kFolder + L"\\Tamsel.exe\"");
}

TEST_F(InstallerTest, UninstallRemovesWhatItWroteAndKeepsUserData) {
    // An image beside the installation, Tamsel's settings file and the decrypted-files journal.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring settings = ShellFolder(CSIDL_APPDATA) + L"\\AutoEncryption";
    CreateDirectoryW(settings.c_str(), nullptr);
    const std::pair<std::wstring, std::string> userFiles[] = {
        {kParent + L"\\Report.chy", "image"},
        {settings + L"\\MonitorSetting.dat", "settings"},
        {std::wstring(temp) + L"DIDI", "journal"},
    };
    for (const auto& [path, bytes] : userFiles) WriteFileBytes(path, bytes);

    const std::wstring menu = MenuFolder();
    ASSERT_TRUE(Exists(menu)) << menu;
    ASSERT_EQ(Msiexec(L"/x " + Package(L"Cryptelle-next.msi")), 0u);

    EXPECT_TRUE(InstalledVersions().empty());
    EXPECT_EQ(UninstallEntries(), 0);
    EXPECT_FALSE(Exists(kFolder)) << "the installation folder is left with:" << Contents(kFolder);
    EXPECT_FALSE(Exists(menu)) << "the Start-menu folder is left";
    for (const RegistryEntry& entry : Registration()) {
        EXPECT_EQ(ReadRegistryString(entry.root, entry.key, entry.name), L"<none>")
            << entry.key << " " << (entry.name ? entry.name : L"@");
    }
    for (const auto& [root, key] : OwnKeys()) EXPECT_FALSE(KeyExists(root, key)) << key;
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, L"Tamsel"), L"<none>");
    for (const auto& [path, bytes] : userFiles) EXPECT_EQ(ReadFileBytes(path), bytes) << "user data lost";
}

}  // namespace
