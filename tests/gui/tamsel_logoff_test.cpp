// Before a logoff Tamsel erases the user's temporary folder, but only one whose name says
// it is one; either way it lets the logoff go on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

std::wstring TamselCommandLine() {
    std::string path = TAMSEL_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    return fs::path(path).make_preferred().wstring();
}

HWND TamselWindow() { return FindWindowW(L"TAMSEL", nullptr); }

// The user's Temp setting, pointed elsewhere for one case and put back as it was.
class TempSetting {
public:
    explicit TempSetting(const fs::path& folder) {
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_READ | KEY_WRITE, &m_key);
        DWORD size = 0;
        if (RegQueryValueExW(m_key, L"Temp", nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_saved.resize(size);
            m_had = RegQueryValueExW(m_key, L"Temp", nullptr, &m_type, m_saved.data(), &size) == ERROR_SUCCESS;
        }
        const std::wstring value = folder.wstring();
        RegSetValueExW(m_key, L"Temp", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    ~TempSetting() {
        if (m_had) {
            RegSetValueExW(m_key, L"Temp", 0, m_type, m_saved.data(), static_cast<DWORD>(m_saved.size()));
        } else {
            RegDeleteValueW(m_key, L"Temp");
        }
        RegCloseKey(m_key);
    }
    TempSetting(const TempSetting&) = delete;
    TempSetting& operator=(const TempSetting&) = delete;

private:
    HKEY m_key = nullptr;
    DWORD m_type = REG_SZ;
    std::vector<BYTE> m_saved;
    bool m_had = false;
};

struct LogoffCase {
    const wchar_t* folderName;
    bool erased;
};

class TamselLogoff : public ::testing::TestWithParam<LogoffCase> {};

TEST_P(TamselLogoff, ErasesOnlyATempNamedFolderAndLetsTheLogoffGoOn) {
    const fs::path root = L"C:\\tamsel-logoff";
    const fs::path folder = root / GetParam().folderName;
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(folder / "sub");
    testing_support::WriteAll(folder / "a.tmp", std::string(200000, 'a'));
    testing_support::WriteAll(folder / "sub" / "b.tmp", std::string("b"));
    TempSetting setting(folder);

    ASSERT_EQ(TamselWindow(), nullptr) << "a Tamsel from an earlier case still runs";
    gui::Process tamsel;
    ASSERT_TRUE(tamsel.Start(TamselCommandLine()));
    HWND window = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] { return (window = TamselWindow()) != nullptr; }));

    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 60000, &answer), 0);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    EXPECT_EQ(fs::exists(folder / "a.tmp"), !GetParam().erased);
    EXPECT_EQ(fs::exists(folder / "sub" / "b.tmp"), !GetParam().erased);
    EXPECT_TRUE(tamsel.Running());

    PostMessageW(window, WM_COMMAND, 201, 0);
    EXPECT_TRUE(tamsel.WaitForExit());
    fs::remove_all(root, ignored);
}

INSTANTIATE_TEST_SUITE_P(Folders, TamselLogoff,
                         ::testing::Values(LogoffCase{L"Tmp", true}, LogoffCase{L"MyTemp", true},
                                           LogoffCase{L"Scratch", false}));

}  // namespace
