#include "win32/Resources.h"

#include "win32/WideText.h"

namespace win32 {

namespace {

HINSTANCE g_resourceModule = nullptr;

}  // namespace

HINSTANCE ResourceModule() noexcept { return g_resourceModule != nullptr ? g_resourceModule : GetModuleHandleW(nullptr); }

void SetResourceModule(HINSTANCE module) noexcept { g_resourceModule = module; }

std::u16string LoadResourceString(UINT id, HINSTANCE module) {
    // With a zero size LoadStringW hands out the resource's own read-only text, whatever its length.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module != nullptr ? module : ResourceModule(), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || text == nullptr) return {};
    return FromWide(text, static_cast<size_t>(length));
}

std::u16string FormatResourceString(UINT id, std::initializer_list<FormatArg> args, HINSTANCE module) {
    return FormatText(LoadResourceString(id, module), args);
}

}  // namespace win32
