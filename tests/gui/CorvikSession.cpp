#include "CorvikSession.h"

#include <map>
#include <vector>

#include "ArdexRunner.h"
#include "TestFiles.h"
#include "core/ImageFormat.h"
#include "platform/File.h"

namespace corvik_test {

namespace {

std::wstring CorvikPath() { return gui::BuiltPath(CORVIK_PATH).wstring(); }

std::map<fs::path, std::vector<uint8_t>> Contents(const fs::path& root) {
    std::map<fs::path, std::vector<uint8_t>> contents;
    if (fs::is_regular_file(root)) {
        contents[""] = testing_support::ReadAll(root);
        return contents;
    }
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const fs::path relative = fs::relative(item.path(), root);
        contents[relative] = item.is_regular_file() ? testing_support::ReadAll(item.path()) : std::vector<uint8_t>{};
    }
    return contents;
}

}  // namespace

Workspace::Workspace() : m_path(L"C:\\テスト") {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
    fs::create_directories(m_path);
}

Workspace::~Workspace() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::wstring Win(const fs::path& path) { return fs::path(path).make_preferred().wstring(); }

fs::path ImageBeside(const fs::path& source) {
    const std::wstring path = Win(source);
    if (path.size() >= 4 && path[path.size() - 4] == L'.') return path.substr(0, path.size() - 4) + L".chy";
    return path + L".chy";
}

fs::path TableBeside(const fs::path& image) { return fs::path(image).replace_extension(".ary"); }

bool CorvikSession::Start(const std::wstring& arguments) {
    return m_process.Start(CorvikPath() + L" " + arguments);
}

bool CorvikSession::Open(const fs::path& source) {
    if (!Start(L"*" + Win(source))) return false;
    m_main = gui::WaitForWindow(Id(), kMainCaption, L"#32770");
    return m_main != nullptr;
}

void CorvikSession::Encrypt(const std::wstring& password, const std::wstring& confirm, int level, bool eraseAfter) {
    gui::TypeText(m_main, kPassword, password);
    gui::TypeText(m_main, kConfirm, confirm);
    for (int k = 0; k < 3; ++k) gui::SetCheck(m_main, kFirstLevel + k, k == level);
    gui::SetCheck(m_main, kEraseAfter, eraseAfter);
    gui::Click(m_main, kEncrypt);
}

std::wstring CorvikSession::Answer(int button, const std::string& screenshot) {
    HWND box = gui::WaitForMessageBox(Id());
    if (!box) return L"<none>";
    EXPECT_EQ(gui::WindowCaption(box), kMessageCaption);
    if (!screenshot.empty()) {
        EXPECT_TRUE(gui::SaveScreenshot(box, screenshot));
    }
    const std::wstring text = gui::MessageBoxText(box);
    EXPECT_TRUE(gui::AnswerMessageBox(box, button));
    return text;
}

HWND CorvikSession::WaitFor(const std::wstring& caption, gui::Duration timeout) {
    return gui::WaitForWindow(Id(), caption, L"#32770", timeout);
}

bool CorvikSession::Ends(gui::Duration timeout) {
    if (m_process.WaitForExit(timeout)) return true;
    if (HWND box = gui::FindMessageBox(Id())) {
        ADD_FAILURE() << "a message box is open: " << testing::PrintToString(gui::MessageBoxText(box));
    }
    return false;
}

HeaderFields ReadHeader(const fs::path& image, const std::u16string& password) {
    HeaderFields fields;
    platform::File file;
    if (!file.Open(image.u16string(), platform::Access::Read, platform::Share::Read,
                   platform::Disposition::OpenExisting)) {
        return fields;
    }
    uint8_t header[kHeaderSize] = {};
    fields.version = ReadImageHeader(file, password, header);
    if (fields.version == 0) return fields;
    fields.compressLevel = HeaderCompressLevel(header);
    fields.options = HeaderOptions(header);
    return fields;
}

fs::path RestoreWithArdex(const fs::path& image, const std::u16string& password, const fs::path& target,
                          const fs::path& source) {
    const ardex_test::RunResult run =
        ardex_test::RunArdexProcess({u"-I" + image.u16string(), u"-D" + target.u16string(), u"-P" + password});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    if (run.exitCode != 0) return {};
    // "-D target" puts a source at the target plus the source's path without its drive.
    return fs::path(Win(target) + L"\\" + Win(source).substr(3));
}

::testing::AssertionResult SameContent(const fs::path& expected, const fs::path& actual) {
    if (!fs::exists(actual)) return ::testing::AssertionFailure() << actual << " does not exist";
    if (Contents(expected) != Contents(actual)) {
        return ::testing::AssertionFailure() << actual << " differs from " << expected;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace corvik_test
