// One run of the encryption program under the GUI driver: its dialogs' ids and texts, and
// the steps every test takes (start on a path, fill the encryption dialog, answer boxes).
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "GuiDriver.h"
#include "core/JobRecords.h"

namespace corvik_test {

namespace fs = std::filesystem;

// Encryption dialog.
inline const std::wstring kMainCaption = L"暗号化";
constexpr int kPassword = 1002;
constexpr int kConfirm = 1003;
constexpr int kEncrypt = 1004;
constexpr int kCancel = 1015;
constexpr int kEraseAfter = 1020;
constexpr int kFirstLevel = 1023;  // no compression; 1024 speed first, 1025 ratio first
constexpr int kOptions = 1026;

// Options dialog.
inline const std::wstring kOptionsCaption = L"暗号化オプション";
constexpr int kExpiryEnabled = 1024;
constexpr int kLimitEnabled = 1025;
constexpr int kExpiryDate = 1026;
constexpr int kLimitCount = 1002;
constexpr int kLimitSpin = 1027;
constexpr int kOptionsEnabled = 1028;
constexpr int kErrorsEnabled = 1029;
constexpr int kErrorCount = 1001;

// Encryption progress.
inline const std::wstring kProgressCaption = L"暗号化の進捗";
constexpr int kProgressBar = 1014;
constexpr int kProgressCancel = 1015;

// Erase method and erase progress.
inline const std::wstring kMethodCaption = L"消去方式";
constexpr int kMethodList = 1090;
constexpr int kErase = 1064;
constexpr int kMethodCancel = 1015;
inline const std::wstring kEraseCaption = L"消去の進捗";
constexpr int kEraseBar = 1091;
constexpr int kEraseCancel = 1092;

inline const std::wstring kMessageCaption = L"シェル暗号化";

// A fresh, empty folder of fixed name (the GUI tests never run side by side), so that the
// paths in screenshots stay the same from run to run. Removed with its content.
class Workspace {
public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path operator/(const std::string& relative) const { return m_path / relative; }

private:
    fs::path m_path;
};

// The Windows form of a path as the program is given it.
std::wstring Win(const fs::path& path);
// The image beside a source: its three-character extension replaced, else ".chy" added.
fs::path ImageBeside(const fs::path& source);
// The table file the job writes beside an image.
fs::path TableBeside(const fs::path& image);

class CorvikSession {
public:
    // Starts the program with arguments after its own path; false when it did not start.
    bool Start(const std::wstring& arguments);
    // Starts it on a source ("*" and the path) and waits for the encryption dialog.
    bool Open(const fs::path& source);

    DWORD Id() const { return m_process.Id(); }
    gui::Process& Process() { return m_process; }
    HWND Main() const { return m_main; }

    // Types both passwords, picks the compression (0 none, 1 speed, 2 ratio) and the erase
    // box, and clicks Encrypt.
    void Encrypt(const std::wstring& password, const std::wstring& confirm, int level = 1, bool eraseAfter = false);
    // Waits for a message box with the program's caption, saves its picture when a name is
    // given, answers it and returns its text ("<none>" when none came).
    std::wstring Answer(int button, const std::string& screenshot = "");
    // Waits for a dialog of the program by caption.
    HWND WaitFor(const std::wstring& caption, gui::Duration timeout = gui::kTimeout);
    // The process ended with no message box left behind.
    bool Ends(gui::Duration timeout = gui::kTimeout);

private:
    gui::Process m_process;
    HWND m_main = nullptr;
};

// The header of an image, read back with the core.
struct HeaderFields {
    int32_t version = 0;
    uint32_t compressLevel = 0;
    ImageOptions options{};
};
HeaderFields ReadHeader(const fs::path& image, const std::u16string& password);

// Restores an image with Ardex into target; the restored copy of source, or empty.
fs::path RestoreWithArdex(const fs::path& image, const std::u16string& password, const fs::path& target,
                          const fs::path& source);
// Same tree, same bytes (a file compares as itself).
::testing::AssertionResult SameContent(const fs::path& expected, const fs::path& actual);

}  // namespace corvik_test
