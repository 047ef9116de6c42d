// A selection as the file manager hands it to a context-menu extension, for the tests that
// drive the extensions: the extensions' own tests and the installer's.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

// Every medium handed out by the data object, so a test can see that it was released.
inline std::atomic<int> g_mediaOutstanding{0};

class MediumOwner final : public IUnknown {
public:
    explicit MediumOwner(HGLOBAL memory) : m_memory(memory) { ++g_mediaOutstanding; }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            GlobalFree(m_memory);
            --g_mediaOutstanding;
            delete this;
        }
        return refs;
    }

private:
    HGLOBAL m_memory;
    std::atomic<ULONG> m_refs{1};
};

// A selection as the file manager hands it over: CF_HDROP in global memory. Without paths
// (offerDrop false) it has no file list at all.
class DropDataObject final : public IDataObject {
public:
    explicit DropDataObject(std::vector<std::wstring> paths, bool offerDrop = true)
        : m_paths(std::move(paths)), m_offerDrop(offerDrop) {}

    ULONG References() const { return m_refs; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    // Lives on the test's stack: the count is only watched.
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!m_offerDrop || format->cfFormat != CF_HDROP || (format->tymed & TYMED_HGLOBAL) == 0) {
            return DV_E_FORMATETC;
        }
        size_t units = 1;
        for (const auto& path : m_paths) units += path.size() + 1;
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
        if (memory == nullptr) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(drop + 1);
        for (const auto& path : m_paths) {
            std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            text += path.size() + 1;
        }
        *text = L'\0';
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = new MediumOwner(memory);
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return m_offerDrop && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::wstring> m_paths;
    bool m_offerDrop;
    std::atomic<ULONG> m_refs{1};
};
