// Pellin under Wine: the version judgements under Wine's per-program Windows version, and the
// driver installation with a harmless INF whose DefaultInstall section writes a registry value.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "DriverInstall.h"
#include "RunAndWait_win.h"

using testing_support::RunAndWait;

namespace {

constexpr char kProbe[] = "pellin_version_probe.exe";
constexpr wchar_t kProbeVersionKey[] = L"Software\\Wine\\AppDefaults\\pellin_version_probe.exe";
constexpr wchar_t kMarkerKey[] = L"Software\\Cryptelle Test\\Pellin";
constexpr wchar_t kMarkerRoot[] = L"Software\\Cryptelle Test";

std::string TestFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string WindowsDirectory() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

// The ANSI text (the form the paths of this test are kept in) as UTF-16.
std::wstring Wide(const std::string& ansi) {
    std::wstring wide(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.pop_back();
    return wide;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// An INF whose DefaultInstall section only writes the string value `name` = "yes".
std::string MarkerInf(const char* name) {
    return std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n"
                       "[DefaultInstall]\r\nAddReg=Marker.AddReg\r\n\r\n"
                       "[Marker.AddReg]\r\nHKCU,\"Software\\Cryptelle Test\\Pellin\",\"") +
           name + "\",0,\"yes\"\r\n";
}

bool MarkerWritten(const wchar_t* name) {
    wchar_t value[16] = {};
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kMarkerKey, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS &&
           std::wstring(value) == L"yes";
}

// The installer runs on its own after InstallXPDriver returns.
bool WaitForMarker(const wchar_t* name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (MarkerWritten(name)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

struct VersionCase {
    const char* setting;  // Wine's name of the Windows version shown to the probe
    const char* shown;    // what GetVersionExA gives under it
    int win2k;
    int winxp;
};

TEST(Pellin, JudgementsUnderEachWindowsVersion) {
    const VersionCase cases[] = {
        {"win95", "4.0 platform 1", 0, 0},   {"win98", "4.10 platform 1", 0, 0}, {"winme", "4.90 platform 1", 0, 0},
        {"nt40", "4.0 platform 2", 0, 0},    {"win2k", "5.0 platform 2", 1, 0},  {"winxp", "5.1 platform 2", 0, 1},
        {"win2003", "5.2 platform 2", 0, 1}, {"vista", "6.0 platform 2", 0, 1},  {"win7", "6.1 platform 2", 0, 1},
        // Without a manifest naming Windows 10, Windows 8 and later show themselves as 6.2.
        {"win10", "6.2 platform 2", 0, 1},
    };
    const std::string result = TestFolder() + "\\version_probe.txt";
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.setting);
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\pellin_version_probe.exe", "Version",
                                  REG_SZ, c.setting, static_cast<DWORD>(std::strlen(c.setting) + 1)),
                  ERROR_SUCCESS);
        DeleteFileA(result.c_str());
        ASSERT_EQ(RunAndWait(Wide(TestFolder() + "\\" + kProbe + " \"" + result + "\"")), 0u);
        std::ostringstream expected;
        expected << c.shown << " win2k " << c.win2k << " winxp " << c.winxp << "\n";
        EXPECT_EQ(ReadText(result), expected.str());
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kProbeVersionKey);
    DeleteFileA(result.c_str());
}

TEST(Pellin, DriverPathsAndCommandForAWindowsDirectory) {
    struct Case {
        const char* windows;
        const char* folder;  // expected driver folder, with its trailing backslash
    };
    const Case cases[] = {
        {"C:\\WINDOWS", "C:\\WINDOWS\\system32\\Drivers\\"},
        {"C:\\WINDOWS\\", "C:\\WINDOWS\\system32\\Drivers\\"},
        {"C:\\WINDOWS\\\\\\", "C:\\WINDOWS\\system32\\Drivers\\"},
        {"C:\\", "C:\\system32\\Drivers\\"},
        {"D:\\Old Windows", "D:\\Old Windows\\system32\\Drivers\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        const pellin::DriverInstall install = pellin::MakeDriverInstall(c.windows);
        EXPECT_EQ(install.infPath, std::string(c.folder) + "Tamsel.inf");
        EXPECT_EQ(install.sysPath, std::string(c.folder) + "Tamsel.sys");
        EXPECT_EQ(install.command,
                  std::string("rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 ") + c.folder + "Tamsel.inf");
    }
}

class DriverInstallTest : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kMarkerRoot);
        const std::string drivers = WindowsDirectory() + "\\system32\\Drivers";
        m_inf = drivers + "\\Tamsel.inf";
        m_sys = drivers + "\\Tamsel.sys";
        RemoveDriverFiles();
        m_pellin = LoadLibraryA((TestFolder() + "\\Pellin.dll").c_str());
        ASSERT_NE(m_pellin, nullptr);
        m_installXPDriver =
            reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(m_pellin, "InstallXPDriver")));
        ASSERT_NE(m_installXPDriver, nullptr);
    }
    void TearDown() override {
        RemoveDriverFiles();
        RegDeleteTreeW(HKEY_CURRENT_USER, kMarkerRoot);
        if (m_pellin != nullptr) FreeLibrary(m_pellin);
    }
    void RemoveDriverFiles() {
        DeleteFileA(m_inf.c_str());
        DeleteFileA(m_sys.c_str());
    }

    using Export = int(WINAPI*)();
    std::string m_inf;
    std::string m_sys;
    HMODULE m_pellin = nullptr;
    Export m_installXPDriver = nullptr;
};

TEST_F(DriverInstallTest, StartsTheInstallerOnlyWithBothDriverFiles) {
    struct Case {
        const char* name;
        bool inf;
        bool sys;
    };
    const Case missing[] = {{"neither file", false, false}, {"INF only", true, false}, {"driver only", false, true}};
    for (const Case& c : missing) {
        SCOPED_TRACE(c.name);
        RemoveDriverFiles();
        if (c.inf) WriteText(m_inf, MarkerInf("Installed"));
        if (c.sys) WriteText(m_sys, "not a driver");
        EXPECT_EQ(m_installXPDriver(), 0);
    }
    // Time for an installer wrongly started above to have written its value.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_FALSE(MarkerWritten(L"Installed"));

    WriteText(m_inf, MarkerInf("Installed"));
    WriteText(m_sys, "not a driver");
    EXPECT_EQ(m_installXPDriver(), 1);
    EXPECT_TRUE(WaitForMarker(L"Installed")) << "the INF's DefaultInstall section did not run";
}

// Windows in a folder with spaces: the command as built, started as InstallXPDriver starts it,
// still reaches the INF.
TEST_F(DriverInstallTest, WindowsDirectoryWithSpaces) {
    const std::string windows = "C:\\Pellin Windows Dir";
    const pellin::DriverInstall install = pellin::MakeDriverInstall(windows + "\\");
    CreateDirectoryA(windows.c_str(), nullptr);
    CreateDirectoryA((windows + "\\system32").c_str(), nullptr);
    CreateDirectoryA((windows + "\\system32\\Drivers").c_str(), nullptr);
    WriteText(install.infPath, MarkerInf("FromSpacedPath"));

    EXPECT_GT(WinExec(install.command.c_str(), SW_HIDE), 31u);
    EXPECT_TRUE(WaitForMarker(L"FromSpacedPath")) << install.command;

    DeleteFileA(install.infPath.c_str());
    RemoveDirectoryA((windows + "\\system32\\Drivers").c_str());
    RemoveDirectoryA((windows + "\\system32").c_str());
    RemoveDirectoryA(windows.c_str());
}

}  // namespace
