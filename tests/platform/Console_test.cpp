// The console as a child process sees it: arguments in, lines out through a pipe or file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "platform/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

namespace {

// "パスワード" in the encodings used below.
const std::u16string kPassword = u"\u30D1\u30B9\u30EF\u30FC\u30C9";
const std::string kPasswordCp932 = "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68";
const std::string kPasswordUtf8 = "\xE3\x83\x91\xE3\x82\xB9\xE3\x83\xAF\xE3\x83\xBC\xE3\x83\x89";
const std::string kPasswordEucJp = "\xA5\xD1\xA5\xB9\xA5\xEF\xA1\xBC\xA5\xC9";

struct Output {
    std::string out;
    std::string err;
};

fs::path EchoProgram() {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / "platform_console_echo.exe";
#else
    return fs::read_symlink("/proc/self/exe").parent_path() / "platform_console_echo";
#endif
}

#ifdef _WIN32
// Runs the echo program with its standard streams on files; arguments as UTF-16.
bool RunEcho(const ScratchDir& dir, const std::vector<std::u16string>& arguments, const std::string& input,
             Output& output) {
    WriteAll(dir / "in.txt", input);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    auto openFile = [&](const char* name, bool write) {
        return CreateFileW((dir / name).wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ, &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    };
    HANDLE in = openFile("in.txt", false), out = openFile("out.txt", true), err = openFile("err.txt", true);
    std::wstring command = L"\"" + EchoProgram().wstring() + L"\"";
    for (const auto& argument : arguments) {
        command += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return false;
    auto text = [&](const char* name) {
        const auto bytes = ReadAll(dir / name);
        return std::string(bytes.begin(), bytes.end());
    };
    output = {text("out.txt"), text("err.txt")};
    return true;
}
#else
// Runs the echo program under the given locale variables; arguments as raw bytes.
bool RunEcho(const ScratchDir& dir, const std::vector<std::string>& environment,
             const std::vector<std::string>& arguments, const std::string& input, Output& output) {
    WriteAll(dir / "in.txt", input);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        freopen((dir / "in.txt").c_str(), "rb", stdin);
        freopen((dir / "out.txt").c_str(), "wb", stdout);
        freopen((dir / "err.txt").c_str(), "wb", stderr);
        unsetenv("LANG");
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        for (const auto& assignment : environment) putenv(const_cast<char*>(assignment.c_str()));
        const std::string program = EchoProgram().string();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    auto text = [&](const char* name) {
        const auto bytes = ReadAll(dir / name);
        return std::string(bytes.begin(), bytes.end());
    };
    output = {text("out.txt"), text("err.txt")};
    return true;
}
#endif

#ifdef _WIN32
TEST(ConsoleTest, PipeOrFileGetsTheAnsiCodePage) {
    // The Wine runner and a Japanese Windows both have code page 932.
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    ScratchDir dir;
    Output output;
    ASSERT_TRUE(RunEcho(dir, {kPassword, u"C:\\\u65E5\u672C\\a b.txt", u"\u0E01"},
                        kPasswordCp932 + "\r\nsecond\r\nlast without line end", output));
    EXPECT_EQ(output.out, kPasswordCp932 + "\r\n" + "C:\\\x93\xFA\x96\x7B\\a b.txt\r\n" + "?\r\n" + "<" +
                              kPasswordCp932 + ">\r\n<second>\r\n<last without line end>\r\nno line break");
    EXPECT_EQ(output.err, "end\r\n");
}
#else
TEST(ConsoleTest, LocaleEncodings) {
    ScratchDir dir;
    const struct {
        const char* label;
        std::vector<std::string> environment;
        std::string password;  // as the locale encodes it
    } cases[] = {
        {"UTF-8 locale", {"LC_ALL=C.UTF-8"}, kPasswordUtf8},
        {"C locale takes UTF-8", {"LC_ALL=C"}, kPasswordUtf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Output output;
        ASSERT_TRUE(RunEcho(dir, c.environment, {c.password, "/tmp/a b"}, c.password + "\nsecond\r\nlast", output));
        EXPECT_EQ(output.out, c.password + "\n/tmp/a b\n<" + c.password + ">\n<second>\n<last>\nno line break");
        EXPECT_EQ(output.err, "end\n");
    }
}

TEST(ConsoleTest, NonUtf8Locale) {
    ScratchDir dir;
    fs::create_directory(dir / "locales");
    const std::string make = "localedef -i ja_JP -f EUC-JP '" + (dir / "locales" / "ja_JP.EUC-JP").string() +
                             "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot build ja_JP.EUC-JP here";
    Output output;
    ASSERT_TRUE(RunEcho(dir, {"LOCPATH=" + (dir / "locales").string(), "LC_ALL=ja_JP.EUC-JP"},
                        {kPasswordEucJp, "\xE3\x81\x82"}, kPasswordEucJp + "\n", output));
    // The second argument is not EUC-JP: it is taken as UTF-8 and printed as EUC-JP.
    EXPECT_EQ(output.out, kPasswordEucJp + "\n\xA4\xA2\n<" + kPasswordEucJp + ">\nno line break");
}
#endif

}  // namespace
