// Context-menu extension of the file manager. One source, built twice: as Brisa (secure
// erase, CRYPTELLE_SHELL_LUNET=0) and as Lunet (encrypt and decrypt, CRYPTELLE_SHELL_LUNET=1).
// It does no file work itself: a chosen command starts a program of the installation folder
// with the selected paths, each followed by "*", and never waits for it.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <new>
#include <string>

#include "ContextMenuRes.h"
#include "win32/GlobalLock.h"
#include "win32/Handle.h"
#include "win32/RegistryKey.h"
#include "win32/StorageMedium.h"

#ifndef CRYPTELLE_SHELL_LUNET
#error "CRYPTELLE_SHELL_LUNET must be defined: 0 builds Brisa, 1 builds Lunet"
#endif

namespace {

constexpr bool kLunet = CRYPTELLE_SHELL_LUNET != 0;

// {D1D0C6B8-ABD2-4EC8-9AEF-BA3E0E516126}
constexpr CLSID CLSID_Brisa = {0xD1D0C6B8, 0xABD2, 0x4EC8, {0x9A, 0xEF, 0xBA, 0x3E, 0x0E, 0x51, 0x61, 0x26}};
// {6EB9CFA7-B6C9-49F5-A3F0-986255E60F27}
constexpr CLSID CLSID_Lunet = {0x6EB9CFA7, 0xB6C9, 0x49F5, {0xA3, 0xF0, 0x98, 0x62, 0x55, 0xE6, 0x0F, 0x27}};

constexpr size_t kSelectionUnits = 67600;
constexpr size_t kPathUnits = 260;
constexpr size_t kMaxPathLength = kPathUnits - 1;
constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Halvard\\Cryptelle\\2.00";
constexpr wchar_t kInstallValue[] = L"InstallPath";

HINSTANCE g_module = nullptr;
std::atomic<LONG> g_objectCount{0};

// Nothing may leave a COM method as an exception.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CommandsAdded(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, count); }

// Bits 0-3 of the flags: a normal menu, or one with CMF_VERBSONLY or CMF_EXPLORE, gets the
// commands; CMF_DEFAULTONLY or CMF_NOVERBS alone get none.
bool MenuWantsCommands(UINT flags) {
    const UINT low = flags & 0xF;
    return low == 0 || (low & CMF_VERBSONLY) != 0 || (low & CMF_EXPLORE) != 0;
}

bool EqualIgnoringCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\..." or "\\server\share...": a path that names one place whatever the working folder
// and current drive are. Rooted ("\x"), drive-relative ("X:x"), relative and device paths
// ("\\?\", "\\.\") are not.
bool IsAbsolutePath(const wchar_t* path) {
    const bool driveLetter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    if (driveLetter && path[1] == L':' && IsSeparator(path[2])) return true;
    return IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != L'\0' && !IsSeparator(path[2]) &&
           path[2] != L'?' && path[2] != L'.';
}

// The programs are only ever started from an installation folder that exists: a folder
// resolved against the working folder or drive could hold a planted program.
bool IsUsableInstallFolder(const wchar_t* path) {
    if (!IsAbsolutePath(path)) return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Copies a help text into the caller's buffer of capacity units (UTF-16 or ANSI); a text
// that does not fit leaves an empty string rather than a cut one.
HRESULT CopyHelpText(const wchar_t* text, bool unicode, CHAR* buffer, UINT capacity) {
    if (buffer == nullptr || capacity == 0) return E_INVALIDARG;
    if (unicode) {
        auto* wide = reinterpret_cast<wchar_t*>(buffer);
        if (wcslen(text) >= capacity) {
            wide[0] = L'\0';
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        wcscpy(wide, text);
        return S_OK;
    }
    const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, static_cast<int>(capacity), nullptr, nullptr);
    if (written == 0) {
        buffer[0] = '\0';
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    return S_OK;
}

class CBrisa final : public IContextMenu, public IShellExtInit {
public:
    static HRESULT Create(REFIID iid, void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, CHAR* name, UINT size) override;

    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY programKey) override;

private:
    CBrisa() noexcept { ++g_objectCount; }
    ~CBrisa();

    void ReadInstallPath() noexcept;
    UINT CommandTextId(UINT offset) const noexcept;
    HRESULT TakeSelection(HDROP drop, UINT count) noexcept;
    bool ShredderSelected() const noexcept;
    HRESULT AddBrisaCommands(HMENU menu, UINT index, UINT firstId, UINT lastId);
    HRESULT AddLunetCommands(HMENU menu, UINT index, UINT firstId, UINT lastId);
    HRESULT LaunchProgram(const wchar_t* program, const wchar_t* beforeSelection) const;

    wchar_t m_selection[kSelectionUnits] = {};
    wchar_t m_installPath[kPathUnits] = {};
    int32_t m_itemCount = 0;
    std::atomic<ULONG> m_refCount{0};
    IDataObject* m_dataObject = nullptr;
    int32_t m_offerEncrypt = 0;
    int32_t m_offerDecrypt = 0;
};

using CreateObject = HRESULT (*)(REFIID, void**);

// The classes this library serves: one, with the build's class identifier.
struct ServedClass {
    const CLSID* classId;
    CreateObject create;
};
constexpr ServedClass kServedClasses[] = {
    {kLunet ? &CLSID_Lunet : &CLSID_Brisa, &CBrisa::Create},
};

class CBrisaClassFactory final : public IClassFactory {
public:
    static HRESULT Create(CreateObject create, REFIID iid, void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    explicit CBrisaClassFactory(CreateObject create) noexcept : m_create(create) { ++g_objectCount; }
    ~CBrisaClassFactory() { --g_objectCount; }

    CreateObject m_create;
    std::atomic<ULONG> m_refCount{0};
};

// Hands out the requested interface of a fresh object; the temporary reference makes a failed
// QueryInterface destroy the object instead of leaking it.
template <class Object>
HRESULT QueryFresh(Object* object, REFIID iid, void** out) {
    if (object == nullptr) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

HRESULT CBrisaClassFactory::Create(CreateObject create, REFIID iid, void** out) {
    return QueryFresh(new (std::nothrow) CBrisaClassFactory(create), iid, out);
}

STDMETHODIMP CBrisaClassFactory::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBrisaClassFactory::AddRef() { return ++m_refCount; }

STDMETHODIMP_(ULONG) CBrisaClassFactory::Release() {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP CBrisaClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return ComBoundary([&] {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return m_create(iid, out);
    });
}

STDMETHODIMP CBrisaClassFactory::LockServer(BOOL) { return S_OK; }

HRESULT CBrisa::Create(REFIID iid, void** out) { return QueryFresh(new (std::nothrow) CBrisa(), iid, out); }

CBrisa::~CBrisa() {
    if (m_dataObject != nullptr) m_dataObject->Release();
    --g_objectCount;
}

STDMETHODIMP CBrisa::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IShellExtInit) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(iid, IID_IContextMenu)) {
        *out = static_cast<IContextMenu*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBrisa::AddRef() { return ++m_refCount; }

STDMETHODIMP_(ULONG) CBrisa::Release() {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
}

// The installation folder is read anew for every menu; a missing key or value leaves it
// empty, and nothing is started from an empty folder.
void CBrisa::ReadInstallPath() noexcept {
    m_installPath[0] = L'\0';
    win32::RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kInstallKey, KEY_QUERY_VALUE)) return;
    // One unit more than the value may hold, so an unterminated value still ends.
    wchar_t value[kPathUnits + 1] = {};
    DWORD size = kPathUnits * sizeof(wchar_t);
    const LSTATUS status =
        RegQueryValueExW(key.Get(), kInstallValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    if (status == ERROR_SUCCESS) lstrcpynW(m_installPath, value, kPathUnits);
}

// Fills m_selection with p1*p2*...*pn*. A path longer than a path field or a list that would
// not fit is refused as a whole: a cut path could name another item.
HRESULT CBrisa::TakeSelection(HDROP drop, UINT count) noexcept {
    size_t used = 0;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0 || length > kMaxPathLength || used + length + 2 > kSelectionUnits) {
            m_selection[0] = L'\0';
            return E_FAIL;
        }
        DragQueryFileW(drop, i, m_selection + used, length + 1);
        used += length;
        m_selection[used++] = L'*';
    }
    m_selection[used] = L'\0';
    return S_OK;
}

STDMETHODIMP CBrisa::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    return ComBoundary([&] {
        if (data == nullptr) return E_INVALIDARG;
        // Hold the new data object first: it may be the one already held.
        data->AddRef();
        if (m_dataObject != nullptr) m_dataObject->Release();
        m_dataObject = data;
        // A refused selection must not leave the previous one behind for InvokeCommand.
        m_selection[0] = L'\0';
        m_itemCount = 0;

        ReadInstallPath();

        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        win32::StorageMedium medium;
        if (FAILED(data->GetData(&format, medium.Out())) || medium.Get().tymed != TYMED_HGLOBAL) return E_FAIL;
        const win32::GlobalLock lock(medium.Get().hGlobal);
        if (!lock.Locked()) return E_FAIL;

        const auto drop = static_cast<HDROP>(medium.Get().hGlobal);
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        m_itemCount = static_cast<int32_t>(count);
        // Lunet acts on exactly one item; Brisa on any non-empty selection.
        if (kLunet ? count != 1 : count == 0) return E_FAIL;
        return TakeSelection(drop, count);
    });
}

bool CBrisa::ShredderSelected() const noexcept {
    wchar_t shredder[kPathUnits + 16] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, shredder))) {
        return false;
    }
    wcscat(shredder, L"\\Shredder*");
    return EqualIgnoringCase(shredder, -1, m_selection, -1);
}

// Commands go in by position; a command whose id would pass lastId is left out, since ids
// beyond the range belong to other handlers of the same menu.
HRESULT CBrisa::AddBrisaCommands(HMENU menu, UINT index, UINT firstId, UINT lastId) {
    if (firstId > lastId) return CommandsAdded(0);
    wchar_t eraseText[kPathUnits] = {};
    wchar_t shredderText[kPathUnits] = {};
    LoadStringW(g_module, IDS_MAIN_COMMAND, eraseText, kPathUnits);
    LoadStringW(g_module, IDS_SECOND_COMMAND, shredderText, kPathUnits);

    UINT position = index;
    UINT used = 0;
    InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, firstId + used++, eraseText);
    if (lastId - firstId >= 1 && ShredderSelected()) {
        InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, firstId + used++, shredderText);
    }
    InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return CommandsAdded(used);
}

HRESULT CBrisa::AddLunetCommands(HMENU menu, UINT index, UINT firstId, UINT lastId) {
    wchar_t path[kPathUnits] = {};
    wcsncpy(path, m_selection, kMaxPathLength);
    wchar_t* star = wcschr(path, L'*');
    if (star == nullptr) return CommandsAdded(0);
    *star = L'\0';
    if (wcschr(star + 1, L'*') != nullptr) return CommandsAdded(0);

    const size_t length = wcslen(path);
    const bool imageName = length >= 4 && EqualIgnoringCase(path + length - 4, 4, L".chy", 4);
    if (!imageName) {
        m_offerEncrypt = 1;
    } else {
        // Only an existing file can be decrypted; the flag says what is on the menu.
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return CommandsAdded(0);
        }
        m_offerDecrypt = 1;
    }
    if (firstId > lastId) {
        m_offerEncrypt = m_offerDecrypt = 0;
        return CommandsAdded(0);
    }

    wchar_t text[kPathUnits] = {};
    LoadStringW(g_module, m_offerEncrypt ? IDS_MAIN_COMMAND : IDS_SECOND_COMMAND, text, kPathUnits);
    InsertMenuW(menu, index, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuW(menu, index + 1, MF_BYPOSITION | MF_STRING, firstId, text);
    InsertMenuW(menu, index + 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return CommandsAdded(1);
}

STDMETHODIMP CBrisa::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) {
    return ComBoundary([&] {
        if constexpr (kLunet) {
            m_offerEncrypt = 0;
            m_offerDecrypt = 0;
        }
        if (!MenuWantsCommands(flags)) return CommandsAdded(0);
        return kLunet ? AddLunetCommands(menu, index, firstId, lastId)
                      : AddBrisaCommands(menu, index, firstId, lastId);
    });
}

// Starts installPath\program with the command line installPath\program + beforeSelection +
// selection. The command line stays unquoted as the programs expect it; the program is also
// named on its own so that an installation folder with spaces cannot start a different
// program found at a space (C:\Program.exe for C:\Program Files\...).
HRESULT CBrisa::LaunchProgram(const wchar_t* program, const wchar_t* beforeSelection) const {
    if (!IsUsableInstallFolder(m_installPath)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::wstring application = m_installPath;
    application += L'\\';
    application += program;
    std::wstring commandLine = application;
    commandLine += beforeSelection;
    commandLine += m_selection;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        win32::Handle thread(process.hThread);
        win32::Handle started(process.hProcess);
    }
    return S_OK;
}

STDMETHODIMP CBrisa::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    return ComBoundary([&] {
        // Verbs given as strings are not served: this extension has no language-independent verbs.
        if (info == nullptr || !IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;
        const UINT offset = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb));
        if constexpr (kLunet) {
            if (offset != 0) return E_INVALIDARG;
            if (m_offerEncrypt) return LaunchProgram(L"Sorvane.exe", L" ");
            if (m_offerDecrypt) return LaunchProgram(L"Dunrique.exe", L" ");
            return E_INVALIDARG;
        } else {
            if (offset == 0) return LaunchProgram(L"Raspel.exe", L" ");
            if (offset == 1) return LaunchProgram(L"Raspel.exe", L" *");
            return E_INVALIDARG;
        }
    });
}

// The string id of the menu text of the command at offset, as InvokeCommand would run it;
// 0 for an offset it refuses.
UINT CBrisa::CommandTextId(UINT offset) const noexcept {
    if constexpr (kLunet) {
        if (offset != 0) return 0;
        if (m_offerEncrypt) return IDS_MAIN_COMMAND;
        return m_offerDecrypt ? IDS_SECOND_COMMAND : 0;
    } else {
        if (offset == 0) return IDS_MAIN_COMMAND;
        return offset == 1 ? IDS_SECOND_COMMAND : 0;
    }
}

// Help texts are the menu texts themselves; validation says whether the offset is served.
// There are no language-independent verbs.
STDMETHODIMP CBrisa::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* name, UINT size) {
    return ComBoundary([&] {
        const UINT textId = offset <= 0xFFFF ? CommandTextId(static_cast<UINT>(offset)) : 0;
        switch (type) {
            case GCS_VALIDATEA:
            case GCS_VALIDATEW:
                return textId != 0 ? S_OK : S_FALSE;
            case GCS_HELPTEXTA:
            case GCS_HELPTEXTW: {
                if (textId == 0) return E_INVALIDARG;
                wchar_t text[kPathUnits] = {};
                if (LoadStringW(g_module, textId, text, kPathUnits) == 0) return E_FAIL;
                return CopyHelpText(text, type == GCS_HELPTEXTW, name, size);
            }
            default:
                return E_NOTIMPL;
        }
    });
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    return ComBoundary([&] {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        for (const ServedClass& served : kServedClasses) {
            if (IsEqualCLSID(classId, *served.classId)) return CBrisaClassFactory::Create(served.create, iid, out);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

STDAPI DllCanUnloadNow() { return g_objectCount == 0 ? S_OK : S_FALSE; }
