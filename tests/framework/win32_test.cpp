#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "FrameworkTestRes.h"
#include "win32/FileMapping.h"
#include "win32/Handle.h"
#include "win32/RegistryKey.h"
#include "win32/Resources.h"
#include "win32/Thread.h"

namespace {

unsigned __stdcall ReturnSeven(void*) { return 7; }

unsigned __stdcall WaitForEvent(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 3;
}

TEST(Win32Owners, HandleMovesAndDetaches) {
    win32::Handle first(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(first.Valid());
    const HANDLE raw = first.Get();
    win32::Handle second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_TRUE(first.Close()) << "an empty owner has nothing to release";
    EXPECT_EQ(second.Get(), raw);
    const HANDLE detached = second.Detach();
    EXPECT_FALSE(second.Valid());
    EXPECT_NE(WaitForSingleObject(detached, 0), WAIT_FAILED) << "detaching must not close";
    win32::Handle again(detached);
    EXPECT_TRUE(again.Close());
    EXPECT_EQ(WaitForSingleObject(detached, 0), WAIT_FAILED) << "closed exactly once";
    win32::Handle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.Valid());
}

TEST(Win32Owners, ThreadJoinsWithItsExitCode) {
    win32::Thread thread;
    ASSERT_TRUE(thread.Start(&ReturnSeven, nullptr));
    DWORD code = 0;
    EXPECT_TRUE(thread.Join(INFINITE, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(thread.Started());

    win32::Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    win32::Thread waiting;
    ASSERT_TRUE(waiting.Start(&WaitForEvent, event.Get(), THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_FALSE(waiting.Join(20, &code)) << "still running";
    EXPECT_TRUE(waiting.Started());
    SetEvent(event.Get());
    EXPECT_TRUE(waiting.Join(INFINITE, &code));
    EXPECT_EQ(code, 3u);
}

TEST(Win32Owners, FileMappingSeesASecondHolder) {
    const std::wstring name = L"CryptelleTest" + std::to_wstring(GetCurrentProcessId());
    win32::FileMapping first;
    ASSERT_TRUE(first.Create(name.c_str(), 64));
    EXPECT_FALSE(first.AlreadyExisted());
    win32::FileMapping second;
    ASSERT_TRUE(second.Create(name.c_str(), 64));
    EXPECT_TRUE(second.AlreadyExisted());
    ASSERT_NE(first.View(), nullptr);
    ASSERT_NE(second.View(), nullptr);
    static_cast<char*>(first.View())[5] = 'x';
    EXPECT_EQ(static_cast<char*>(second.View())[5], 'x');
    EXPECT_TRUE(second.Close());
    EXPECT_FALSE(second.AlreadyExisted());
}

TEST(Win32Owners, RegistryStringValues) {
    const std::wstring subKey = L"Software\\CryptelleTest" + std::to_wstring(GetCurrentProcessId());
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                              nullptr),
              ERROR_SUCCESS);
    win32::RegistryKey writable;
    writable.Reset(created);
    const wchar_t text[] = L"C:\\Program Files\\x";
    RegSetValueExW(created, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    const DWORD number = 5;
    RegSetValueExW(created, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);

    struct Case {
        const wchar_t* name;
        size_t maxChars;
        bool found;
    };
    const Case cases[] = {
        {L"Path", 260, true},
        {L"Path", 18, true},  // exactly as long as the limit
        {L"Path", 17, false},
        {L"Number", 260, false},
        {L"Missing", 260, false},
    };
    win32::RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, subKey.c_str(), KEY_QUERY_VALUE));
    for (const auto& c : cases) {
        std::wstring value;
        EXPECT_EQ(key.QueryString(c.name, c.maxChars, value), c.found) << c.maxChars;
        if (c.found) {
            EXPECT_EQ(value, text);
        }
    }
    key.Close();
    writable.Close();
    RegDeleteKeyW(HKEY_CURRENT_USER, subKey.c_str());
}

TEST(Win32Resources, StringsPlainAndFormatted) {
    EXPECT_EQ(win32::LoadResourceString(IDS_PLAIN), u"パスワードが一致しません");
    EXPECT_EQ(win32::LoadResourceString(999), u"");
    EXPECT_EQ(win32::FormatResourceString(IDS_FORMATTED, {u"C:\\a 100%.txt", 12}), u"C:\\a 100%.txt は既に存在します。12");
}

}  // namespace
