// Brisa and Lunet as the shell uses them: loaded from an installation folder registered with
// the build's registration files, created through their class factories, initialised with a
// CF_HDROP data object, asked for their commands on a real popup menu, and invoked. The
// programs they start are recorders that log the command line they received.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "DropDataObject.h"
#include "RunAndWait_win.h"

using testing_support::RunAndWait;

namespace {

constexpr CLSID CLSID_Brisa = {0xD1D0C6B8, 0xABD2, 0x4EC8, {0x9A, 0xEF, 0xBA, 0x3E, 0x0E, 0x51, 0x61, 0x26}};
constexpr CLSID CLSID_Lunet = {0x6EB9CFA7, 0xB6C9, 0x49F5, {0xA3, 0xF0, 0x98, 0x62, 0x55, 0xE6, 0x0F, 0x27}};
constexpr CLSID CLSID_Other = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}};

// Named in the registration files this test's build writes. The space in it matters: the
// extensions must not start C:\Cryptelle.exe (planted below) for C:\Cryptelle Suite\Raspel.exe.
const std::wstring kSuite = L"C:\\Cryptelle Suite";
const std::wstring kDecoy = L"C:\\Cryptelle.exe";
const std::wstring kItems = L"C:\\Cryptelle Items";
const std::wstring kWorkDir = L"C:\\Cryptelle Work";
constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Halvard\\Cryptelle\\2.00";
const wchar_t* const kPrograms[] = {L"Raspel", L"Sorvane", L"Dunrique"};

constexpr UINT kFirstId = 100;
constexpr UINT kLastId = 200;

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }
    void Reset() {
        if (m_p != nullptr) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

std::wstring TestFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

DWORD ImportRegistration(const wchar_t* file) {
    return RunAndWait(L"reg.exe import \"" + TestFolder() + L"\\registration\\" + file + L"\"");
}

std::wstring ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return L"<none>";
    return text;
}

std::wstring ClassIdText(const CLSID& id) {
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return text;
}

// Logs written by the recorders, keyed by the folder they were started from.
std::wstring LogPath(const std::wstring& folder, const wchar_t* program) { return folder + L"\\" + program + L".log"; }

std::vector<std::wstring> ReadLog(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

void DeleteLogs(const std::wstring& folder) {
    for (const wchar_t* program : kPrograms) DeleteFileW(LogPath(folder, program).c_str());
    DeleteFileW(L"C:\\Cryptelle.log");
}

// Waits until the program's log has a line (the extension does not wait for its start).
std::vector<std::wstring> WaitForLog(const std::wstring& folder, const wchar_t* program) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<std::wstring> lines = ReadLog(LogPath(folder, program));
        if (!lines.empty()) return lines;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

std::wstring Lines(const std::vector<std::wstring>& lines) {
    std::wstring all;
    for (const auto& line : lines) all += line + L"\n";
    return all;
}

// A popup menu that already has two items, so the position of the insertions shows.
class PopupMenu {
public:
    PopupMenu() : m_menu(CreatePopupMenu()) {
        AppendMenuW(m_menu, MF_STRING, 1, L"A");
        AppendMenuW(m_menu, MF_STRING, 2, L"B");
    }
    ~PopupMenu() { DestroyMenu(m_menu); }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    HMENU Get() const { return m_menu; }

    // "text#id" for commands, "-" for separators, joined by "|".
    std::wstring Describe() const {
        std::wstring text;
        const int count = GetMenuItemCount(m_menu);
        for (int i = 0; i < count; ++i) {
            wchar_t label[260] = {};
            MENUITEMINFOW info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = label;
            info.cch = 260;
            GetMenuItemInfoW(m_menu, static_cast<UINT>(i), TRUE, &info);
            if (!text.empty()) text += L"|";
            if (info.fType & MFT_SEPARATOR) {
                text += L"-";
                if (info.wID != 0) text += L"#" + std::to_wstring(info.wID);
            } else {
                text += std::wstring(label) + L"#" + std::to_wstring(info.wID);
            }
        }
        return text;
    }

private:
    HMENU m_menu;
};

HRESULT Invoke(IContextMenu* menu, const char* verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

HRESULT InvokeOffset(IContextMenu* menu, UINT offset) { return Invoke(menu, MAKEINTRESOURCEA(offset)); }

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring CommonDesktop() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool CopyInto(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0; }

void WriteFileText(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(file);
}

void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

struct Library {
    const wchar_t* name;
    const CLSID* classId;
    HMODULE module = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
};

Library g_brisa{L"Brisa", &CLSID_Brisa};
Library g_lunet{L"Lunet", &CLSID_Lunet};

class ContextMenuTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const std::wstring here = TestFolder();
        CreateDirectoryW(kSuite.c_str(), nullptr);
        for (const wchar_t* program : kPrograms) {
            ASSERT_TRUE(CopyInto(here + L"\\" + program + L".exe", kSuite + L"\\" + program + L".exe"));
        }
        // Started instead of the suite's programs if the launch searched at the space.
        ASSERT_TRUE(CopyInto(here + L"\\Raspel.exe", kDecoy));
        for (Library* library : {&g_brisa, &g_lunet}) {
            const std::wstring dll = kSuite + L"\\" + library->name + L".dll";
            ASSERT_TRUE(CopyInto(here + L"\\" + library->name + L".dll", dll));
            library->module = LoadLibraryW(dll.c_str());
            ASSERT_NE(library->module, nullptr);
            library->getClassObject = reinterpret_cast<GetClassObjectFunction>(
                reinterpret_cast<void*>(GetProcAddress(library->module, "DllGetClassObject")));
            library->canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
                reinterpret_cast<void*>(GetProcAddress(library->module, "DllCanUnloadNow")));
            ASSERT_NE(library->getClassObject, nullptr);
            ASSERT_NE(library->canUnloadNow, nullptr);
        }
        for (const wchar_t* file : {L"InstallPath.reg", L"Brisa.reg", L"Lunet.reg"}) {
            ASSERT_EQ(ImportRegistration(file), 0u) << file;
        }

        CreateDirectoryW(kItems.c_str(), nullptr);
        WriteFileText(kItems + L"\\Report.CHY", "image");
        WriteFileText(kItems + L"\\photo.jpg", "photo");
        CreateDirectoryW((kItems + L"\\old.chy").c_str(), nullptr);
        CreateDirectoryW((kItems + L"\\docs").c_str(), nullptr);
    }

    static void TearDownTestSuite() {
        for (Library* library : {&g_brisa, &g_lunet}) {
            if (library->module != nullptr) FreeLibrary(library->module);
            library->module = nullptr;
        }
        CoUninitialize();
        DeleteTree(kSuite);
        DeleteTree(kItems);
        DeleteTree(kWorkDir);
        DeleteFileW(kDecoy.c_str());
        DeleteFileW(L"C:\\Cryptelle.log");
        DeleteFileW(L"C:\\Raspel.exe");
        DeleteFileW(L"C:\\Raspel.log");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvard");
        for (const CLSID* id : {&CLSID_Brisa, &CLSID_Lunet}) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClassIdText(*id)).c_str());
        }
        for (const wchar_t* name : {L"Brisa", L"Lunet"}) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"*\\shellex\\ContextMenuHandlers\\") + name).c_str());
            RegDeleteTreeW(HKEY_CLASSES_ROOT,
                           (std::wstring(L"Directory\\shellex\\ContextMenuHandlers\\") + name).c_str());
        }
    }

    void SetUp() override {
        DeleteLogs(kSuite);
        g_mediaOutstanding = 0;
    }

    // The extension of a library as the shell makes it: factory, instance, IContextMenu.
    static void CreateExtension(const Library& library, ComRef<IContextMenu>& menu) {
        ComRef<IClassFactory> factory;
        ASSERT_EQ(library.getClassObject(*library.classId, IID_IClassFactory, factory.Out()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.Out()), S_OK);
    }

    static HRESULT InitializeWith(IContextMenu* menu, IDataObject* data) {
        ComRef<IShellExtInit> init;
        EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, init.Out()), S_OK);
        return init->Initialize(nullptr, data, nullptr);
    }

    // Waits until no recorder could still be starting, then expects that none ran.
    static void ExpectNothingStarted() {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        for (const wchar_t* program : kPrograms) {
            EXPECT_TRUE(ReadLog(LogPath(kSuite, program)).empty()) << "started " << program;
        }
        EXPECT_TRUE(ReadLog(L"C:\\Cryptelle.log").empty()) << "started the program at the space";
    }
};

TEST_F(ContextMenuTest, RegistrationFilesNameTheFolderAndServeBothClasses) {
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kInstallKey, L"InstallPath"), kSuite);
    for (const Library* library : {&g_brisa, &g_lunet}) {
        const std::wstring id = ClassIdText(*library->classId);
        const std::wstring server = L"CLSID\\" + id + L"\\InprocServer32";
        EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, server, nullptr), kSuite + L"\\" + library->name + L".dll");
        EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, server, L"ThreadingModel"), L"Apartment");
        for (const wchar_t* handlers : {L"*\\shellex\\ContextMenuHandlers\\", L"Directory\\shellex\\ContextMenuHandlers\\"}) {
            EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, handlers + std::wstring(library->name), nullptr), id);
        }
        // COM finds the library through the class key alone.
        ComRef<IContextMenu> menu;
        EXPECT_EQ(CoCreateInstance(*library->classId, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu, menu.Out()),
                  S_OK)
            << library->name;
        ComRef<IShellExtInit> init;
        EXPECT_EQ(CoCreateInstance(*library->classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.Out()),
                  S_OK)
            << library->name;
    }
}

TEST_F(ContextMenuTest, ClassFactoryServesOnlyItsOwnClassAndCountsLiveObjects) {
    struct Case {
        const Library* library;
        const CLSID* foreign;
    };
    for (const Case& c : {Case{&g_brisa, &CLSID_Lunet}, Case{&g_lunet, &CLSID_Brisa}, Case{&g_brisa, &CLSID_Other}}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.library->getClassObject(*c.foreign, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(out, nullptr);
    }

    for (const Library* library : {&g_brisa, &g_lunet}) {
        SCOPED_TRACE(testing::Message() << library->name);
        EXPECT_EQ(library->canUnloadNow(), S_OK);
        ComRef<IClassFactory> factory;
        ASSERT_EQ(library->getClassObject(*library->classId, IID_IClassFactory, factory.Out()), S_OK);
        EXPECT_EQ(library->canUnloadNow(), S_FALSE);

        ComRef<IUnknown> unknown;
        EXPECT_EQ(factory->QueryInterface(IID_IUnknown, unknown.Out()), S_OK);
        ComRef<IContextMenu> wrong;
        EXPECT_EQ(factory->QueryInterface(IID_IContextMenu, wrong.Out()), E_NOINTERFACE);
        EXPECT_EQ(wrong.Get(), nullptr);
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);

        ComRef<IContextMenu> aggregated;
        EXPECT_EQ(factory->CreateInstance(unknown.Get(), IID_IContextMenu, aggregated.Out()), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(aggregated.Get(), nullptr);
        ComRef<IClassFactory> notServed;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, notServed.Out()), E_NOINTERFACE);

        ComRef<IContextMenu> menu;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.Out()), S_OK);
        ComRef<IShellExtInit> init;
        EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, init.Out()), S_OK);
        ComRef<IContextMenu2> menu2;
        EXPECT_EQ(menu->QueryInterface(IID_IContextMenu2, menu2.Out()), E_NOINTERFACE);
        unknown.Reset();
        factory.Reset();
        EXPECT_EQ(library->canUnloadNow(), S_FALSE) << "the extension object is still alive";
        menu.Reset();
        EXPECT_EQ(library->canUnloadNow(), S_FALSE) << "still held through IShellExtInit";
        init.Reset();
        EXPECT_EQ(library->canUnloadNow(), S_OK);
    }
}

struct MenuCase {
    const char* name;
    const Library* library;
    std::vector<std::wstring> paths;
    UINT flags;
    std::wstring menu;  // after QueryContextMenu at index 1 of "A#1|B#2"
    UINT commands;
    int invokeOffset;           // -1: not invoked
    const wchar_t* program;     // started by the invocation
    std::wstring commandTail;   // command line after kSuite
};

TEST_F(ContextMenuTest, MenusAndTheCommandLinesTheyStart) {
    const std::wstring shredder = Upper(CommonDesktop()) + L"\\shredder";
    const std::wstring report = kItems + L"\\Report.CHY";
    const std::wstring photo = kItems + L"\\photo.jpg";
    const std::wstring docs = kItems + L"\\docs";
    const std::wstring three[] = {L"C:\\a.txt", L"D:\\b c\\d.doc", kItems};
    const std::wstring erase = L"A#1|-|完全消去#100|-|B#2";
    const std::wstring encrypt = L"A#1|-|暗号化#100|-|B#2";
    const std::wstring unchanged = L"A#1|B#2";

    const MenuCase cases[] = {
        {"Brisa, three items", &g_brisa, {three[0], three[1], three[2]}, CMF_NORMAL, erase, 1, 0, L"Raspel",
         L"\\Raspel.exe " + three[0] + L"*" + three[1] + L"*" + three[2] + L"*"},
        {"Brisa, default only", &g_brisa, {three[0]}, CMF_DEFAULTONLY, unchanged, 0, -1, nullptr, L""},
        {"Brisa, no verbs", &g_brisa, {three[0]}, CMF_NOVERBS, unchanged, 0, -1, nullptr, L""},
        {"Brisa, verbs only with default only", &g_brisa, {three[0]}, CMF_VERBSONLY | CMF_DEFAULTONLY, erase, 1, -1,
         nullptr, L""},
        {"Brisa, explore with no verbs", &g_brisa, {three[0]}, CMF_EXPLORE | CMF_NOVERBS, erase, 1, -1, nullptr, L""},
        {"Brisa, flags above bit 3", &g_brisa, {three[0]}, CMF_EXTENDEDVERBS, erase, 1, -1, nullptr, L""},
        {"Brisa, shredder in upper case, erase", &g_brisa, {shredder}, CMF_NORMAL,
         L"A#1|-|完全消去#100|Delete from shredder#101|-|B#2", 2, 0, L"Raspel", L"\\Raspel.exe " + shredder + L"*"},
        {"Brisa, shredder, delete from shredder", &g_brisa, {shredder}, CMF_EXPLORE,
         L"A#1|-|完全消去#100|Delete from shredder#101|-|B#2", 2, 1, L"Raspel", L"\\Raspel.exe *" + shredder + L"*"},
        {"Brisa, shredder with another item", &g_brisa, {shredder, three[0]}, CMF_NORMAL, erase, 1, -1, nullptr, L""},
        {"Brisa, a shredder elsewhere", &g_brisa, {kItems + L"\\Shredder"}, CMF_NORMAL, erase, 1, -1, nullptr, L""},
        {"Lunet, existing .CHY file", &g_lunet, {report}, CMF_NORMAL, L"A#1|-|復号化#100|-|B#2", 1, 0, L"Dunrique",
         L"\\Dunrique.exe " + report + L"*"},
        {"Lunet, .chy directory", &g_lunet, {kItems + L"\\old.chy"}, CMF_NORMAL, unchanged, 0, -1, nullptr, L""},
        {"Lunet, missing .chy file", &g_lunet, {kItems + L"\\gone.chy"}, CMF_NORMAL, unchanged, 0, -1, nullptr, L""},
        {"Lunet, other file", &g_lunet, {photo}, CMF_NORMAL, encrypt, 1, 0, L"Sorvane", L"\\Sorvane.exe " + photo + L"*"},
        {"Lunet, folder", &g_lunet, {docs}, CMF_VERBSONLY, encrypt, 1, 0, L"Sorvane", L"\\Sorvane.exe " + docs + L"*"},
        {"Lunet, missing file", &g_lunet, {kItems + L"\\new.txt"}, CMF_NORMAL, encrypt, 1, -1, nullptr, L""},
        {"Lunet, path shorter than the extension", &g_lunet, {L"C:\\"}, CMF_NORMAL, encrypt, 1, -1, nullptr, L""},
        {"Lunet, default only", &g_lunet, {photo}, CMF_DEFAULTONLY, unchanged, 0, -1, nullptr, L""},
    };
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteLogs(kSuite);
        ComRef<IContextMenu> menu;
        CreateExtension(*c.library, menu);
        DropDataObject data(c.paths);
        ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
        EXPECT_EQ(g_mediaOutstanding, 0) << "the storage medium was not released";

        PopupMenu popup;
        const HRESULT added = menu->QueryContextMenu(popup.Get(), 1, kFirstId, kLastId, c.flags);
        EXPECT_EQ(added, MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.commands));
        EXPECT_EQ(popup.Describe(), c.menu);
        if (c.invokeOffset < 0) continue;

        EXPECT_EQ(InvokeOffset(menu.Get(), static_cast<UINT>(c.invokeOffset)), S_OK);
        EXPECT_EQ(Lines(WaitForLog(kSuite, c.program)), kSuite + c.commandTail + L"\n");
        for (const wchar_t* program : kPrograms) {
            if (std::wstring(program) != c.program) {
                EXPECT_TRUE(ReadLog(LogPath(kSuite, program)).empty()) << program;
            }
        }
        EXPECT_TRUE(ReadLog(L"C:\\Cryptelle.log").empty()) << "started the program at the space";
        menu.Reset();
        EXPECT_EQ(data.References(), 1u) << "the data object is still held";
    }
}

TEST_F(ContextMenuTest, VerbStringsAndUnknownOffsetsStartNothing) {
    struct Case {
        const char* name;
        const Library* library;
        std::wstring path;
        const char* verb;
    };
    const std::wstring shredder = CommonDesktop() + L"\\Shredder";
    const Case cases[] = {
        {"Brisa, verb string", &g_brisa, shredder, "erase"},
        {"Brisa, offset 2", &g_brisa, shredder, MAKEINTRESOURCEA(2)},
        {"Lunet, verb string", &g_lunet, kItems + L"\\photo.jpg", "encrypt"},
        {"Lunet, offset 1", &g_lunet, kItems + L"\\photo.jpg", MAKEINTRESOURCEA(1)},
        {"Lunet, offset 0 with no command on the menu", &g_lunet, kItems + L"\\old.chy", MAKEINTRESOURCEA(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<IContextMenu> menu;
        CreateExtension(*c.library, menu);
        DropDataObject data({c.path});
        ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
        PopupMenu popup;
        menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_NORMAL);
        EXPECT_EQ(Invoke(menu.Get(), c.verb), E_INVALIDARG);
    }
    // After a menu that asked for default verbs only, Lunet has no command to start either.
    ComRef<IContextMenu> menu;
    CreateExtension(g_lunet, menu);
    DropDataObject data({kItems + L"\\photo.jpg"});
    ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
    PopupMenu popup;
    EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_NORMAL), MAKE_HRESULT(0, 0, 1));
    EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_DEFAULTONLY), MAKE_HRESULT(0, 0, 0));
    EXPECT_EQ(InvokeOffset(menu.Get(), 0), E_INVALIDARG);

    ExpectNothingStarted();
}

TEST_F(ContextMenuTest, SelectionsThatAreRefused) {
    // 259 paths of 259 units and one of 258, each with its "*", plus the terminator: 67,600 units.
    std::vector<std::wstring> fits(259, L"C:\\" + std::wstring(256, L'x'));
    fits.push_back(L"C:\\" + std::wstring(255, L'y'));
    std::vector<std::wstring> oneOver = fits;
    oneOver.back() += L'y';

    struct Case {
        const char* name;
        const Library* library;
        std::vector<std::wstring> paths;
        bool offerDrop;
        HRESULT expected;
    };
    const Case cases[] = {
        {"Brisa, no file list", &g_brisa, {}, false, E_FAIL},
        {"Brisa, empty file list", &g_brisa, {}, true, E_FAIL},
        {"Brisa, selection that just fits", &g_brisa, fits, true, S_OK},
        {"Brisa, selection one unit too long", &g_brisa, oneOver, true, E_FAIL},
        {"Brisa, path longer than 259 units", &g_brisa, {L"C:\\" + std::wstring(257, L'z')}, true, E_FAIL},
        {"Lunet, two items", &g_lunet, {kItems + L"\\photo.jpg", kItems + L"\\docs"}, true, E_FAIL},
        {"Lunet, no file list", &g_lunet, {}, false, E_FAIL},
        {"Lunet, path longer than 259 units", &g_lunet, {L"C:\\" + std::wstring(257, L'z')}, true, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<IContextMenu> menu;
        CreateExtension(*c.library, menu);
        DropDataObject data(c.paths, c.offerDrop);
        EXPECT_EQ(InitializeWith(menu.Get(), &data), c.expected);
        EXPECT_EQ(g_mediaOutstanding, 0) << "the storage medium was not released";
        if (c.library == &g_lunet) {
            // The shell drops Lunet after a failed Initialize; asked anyway, it offers nothing.
            PopupMenu popup;
            EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 1, kFirstId, kLastId, CMF_NORMAL), MAKE_HRESULT(0, 0, 0));
            EXPECT_EQ(popup.Describe(), L"A#1|B#2");
        }
    }

    ComRef<IContextMenu> menu;
    CreateExtension(g_brisa, menu);
    EXPECT_EQ(InitializeWith(menu.Get(), nullptr), E_INVALIDARG);
}

TEST_F(ContextMenuTest, InitializeTwiceHoldsOnlyTheLatestSelection) {
    ComRef<IContextMenu> menu;
    CreateExtension(g_brisa, menu);
    DropDataObject first({L"C:\\first.txt"});
    DropDataObject second({L"C:\\second.txt", L"C:\\third.txt"});
    ASSERT_EQ(InitializeWith(menu.Get(), &first), S_OK);
    EXPECT_EQ(first.References(), 2u);
    ASSERT_EQ(InitializeWith(menu.Get(), &second), S_OK);
    EXPECT_EQ(first.References(), 1u) << "the earlier data object was not released";
    EXPECT_EQ(second.References(), 2u);
    ASSERT_EQ(InitializeWith(menu.Get(), &second), S_OK);
    EXPECT_EQ(second.References(), 2u) << "the same data object again must be held once";

    // A refused selection leaves nothing of the earlier one to erase.
    DropDataObject refused({}, false);
    EXPECT_EQ(InitializeWith(menu.Get(), &refused), E_FAIL);
    EXPECT_EQ(second.References(), 1u);

    ASSERT_EQ(InitializeWith(menu.Get(), &second), S_OK);
    PopupMenu popup;
    menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_NORMAL);
    EXPECT_EQ(InvokeOffset(menu.Get(), 0), S_OK);
    EXPECT_EQ(Lines(WaitForLog(kSuite, L"Raspel")), kSuite + L"\\Raspel.exe C:\\second.txt*C:\\third.txt*\n");
    menu.Reset();
    EXPECT_EQ(second.References(), 1u);
    EXPECT_EQ(refused.References(), 1u);
}

// Without a usable installation folder nothing is started: not \Raspel.exe on the current
// drive, not a program below the working folder. Recorders are planted wherever one of the
// refused values would have found a program.
TEST_F(ContextMenuTest, NoProgramStartsWithoutAnAbsoluteExistingFolder) {
    const std::wstring planted[] = {L"C:", kWorkDir + L"\\UnKnown", kWorkDir + L"\\Cryptelle Suite"};
    CreateDirectoryW(kWorkDir.c_str(), nullptr);
    for (const std::wstring& folder : planted) {
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyInto(TestFolder() + L"\\Raspel.exe", folder + L"\\Raspel.exe")) << folder;
    }
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(kWorkDir.c_str()));

    struct Case {
        const char* name;
        bool keepKey;
        const wchar_t* value;  // nullptr: no value
    };
    const Case cases[] = {
        {"key missing", false, nullptr},
        {"value missing", true, nullptr},
        {"relative folder", true, L"UnKnown"},
        {"rooted without a drive", true, L"\\Cryptelle Suite"},
        {"relative to the drive's folder", true, L"C:Cryptelle Suite"},
        {"device path", true, L"\\\\?\\C:\\Cryptelle Suite"},
        {"folder that does not exist", true, L"C:\\Cryptelle Gone"},
        {"a file, not a folder", true, L"C:\\Cryptelle Suite\\Raspel.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvard");
        if (c.keepKey) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr),
                      ERROR_SUCCESS);
            if (c.value != nullptr) {
                RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.value),
                               static_cast<DWORD>((wcslen(c.value) + 1) * sizeof(wchar_t)));
            }
            RegCloseKey(key);
        }
        for (Library* library : {&g_brisa, &g_lunet}) {
            ComRef<IContextMenu> menu;
            CreateExtension(*library, menu);
            DropDataObject data({kItems + L"\\photo.jpg"});
            ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
            PopupMenu popup;
            EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_NORMAL), MAKE_HRESULT(0, 0, 1));
            EXPECT_EQ(InvokeOffset(menu.Get(), 0), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) << library->name;
        }
    }
    ExpectNothingStarted();
    for (const std::wstring& folder : planted) {
        EXPECT_TRUE(ReadLog(LogPath(folder, L"Raspel")).empty()) << "started " << folder << "\\Raspel.exe";
    }

    SetCurrentDirectoryW(previous);
    EXPECT_EQ(ImportRegistration(L"InstallPath.reg"), 0u);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kInstallKey, L"InstallPath"), kSuite);
    DeleteFileW(L"C:\\Raspel.exe");
    DeleteFileW(L"C:\\Raspel.log");
    DeleteTree(kWorkDir);
}

// Help texts are the menu texts; validation follows the commands InvokeCommand serves; verbs
// are not supplied.
TEST_F(ContextMenuTest, CommandStrings) {
    const std::wstring shredder = CommonDesktop() + L"\\Shredder";
    const std::wstring photo = kItems + L"\\photo.jpg";
    const std::wstring oldImage = kItems + L"\\old.chy";
    constexpr wchar_t kUnwritten = 0x7F7F;
    constexpr HRESULT kTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    struct Case {
        const char* name;
        const Library* library;
        std::wstring path;
        UINT offset;
        UINT type;
        UINT size;  // in characters
        HRESULT expected;
        const wchar_t* text;  // GCS_HELPTEXTW; nullptr: the buffer stays unwritten
        const char* ansi;     // GCS_HELPTEXTA
    };
    const Case cases[] = {
        {"Brisa erase help", &g_brisa, shredder, 0, GCS_HELPTEXTW, 64, S_OK, L"完全消去", nullptr},
        {"Brisa shredder help", &g_brisa, shredder, 1, GCS_HELPTEXTW, 64, S_OK, L"Delete from shredder", nullptr},
        {"Brisa shredder help, ANSI", &g_brisa, shredder, 1, GCS_HELPTEXTA, 64, S_OK, nullptr, "Delete from shredder"},
        {"Brisa help that just fits", &g_brisa, shredder, 0, GCS_HELPTEXTW, 5, S_OK, L"完全消去", nullptr},
        {"Brisa help one unit short", &g_brisa, shredder, 0, GCS_HELPTEXTW, 4, kTooSmall, L"", nullptr},
        {"Brisa help, ANSI, too short", &g_brisa, shredder, 1, GCS_HELPTEXTA, 8, kTooSmall, nullptr, ""},
        {"Brisa help of offset 2", &g_brisa, shredder, 2, GCS_HELPTEXTW, 64, E_INVALIDARG, nullptr, nullptr},
        {"Brisa validate 1", &g_brisa, shredder, 1, GCS_VALIDATEW, 64, S_OK, nullptr, nullptr},
        {"Brisa validate 2", &g_brisa, shredder, 2, GCS_VALIDATEA, 64, S_FALSE, nullptr, nullptr},
        {"Brisa verb", &g_brisa, shredder, 0, GCS_VERBW, 64, E_NOTIMPL, nullptr, nullptr},
        {"Brisa verb, ANSI", &g_brisa, shredder, 0, GCS_VERBA, 64, E_NOTIMPL, nullptr, nullptr},
        {"Lunet encrypt help", &g_lunet, photo, 0, GCS_HELPTEXTW, 64, S_OK, L"暗号化", nullptr},
        {"Lunet decrypt help", &g_lunet, kItems + L"\\Report.CHY", 0, GCS_HELPTEXTW, 64, S_OK, L"復号化", nullptr},
        {"Lunet help without a command", &g_lunet, oldImage, 0, GCS_HELPTEXTW, 64, E_INVALIDARG, nullptr, nullptr},
        {"Lunet validate without a command", &g_lunet, oldImage, 0, GCS_VALIDATEW, 64, S_FALSE, nullptr, nullptr},
        {"Lunet validate 1", &g_lunet, photo, 1, GCS_VALIDATEW, 64, S_FALSE, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<IContextMenu> menu;
        CreateExtension(*c.library, menu);
        DropDataObject data({c.path});
        ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
        PopupMenu popup;
        menu->QueryContextMenu(popup.Get(), 0, kFirstId, kLastId, CMF_NORMAL);

        wchar_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), kUnwritten);
        auto* name = reinterpret_cast<CHAR*>(buffer);
        EXPECT_EQ(menu->GetCommandString(c.offset, c.type, nullptr, name, c.size), c.expected);
        if (c.ansi != nullptr) {
            EXPECT_EQ(std::string(name, strnlen(name, sizeof buffer)), c.ansi);
        } else if (c.text != nullptr) {
            EXPECT_EQ(std::wstring(buffer, wcsnlen(buffer, 64)), c.text);
        } else {
            EXPECT_EQ(buffer[0], kUnwritten) << "the buffer was written";
        }
    }

    // In the Japanese ANSI code page the help text is the menu text's double-byte form.
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    ComRef<IContextMenu> menu;
    CreateExtension(g_brisa, menu);
    DropDataObject data({L"C:\\a.txt"});
    ASSERT_EQ(InitializeWith(menu.Get(), &data), S_OK);
    char ansi[16] = {};
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, sizeof ansi), S_OK);
    EXPECT_EQ(std::string(ansi), "\x8a\xae\x91\x53\x8f\xc1\x8b\x8e");
}

}  // namespace
