// Ardex run as a real process: what it prints for each command line, and its exit code:
// 0 success, 2 an invalid command line or a failed check, 3 a failed or declined job.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ArdexRunner.h"
#include "TestFiles.h"
#include "core/ImageWriter.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace fs = std::filesystem;
using ardex_test::RunArdexProcess;
using ardex_test::RunResult;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WinPath;
using testing_support::WriteAll;

namespace {

const std::string kUsage =
    "Usage: \n Ardex  -I \"Full path to Image File\" \n     -E/-D \"Full path to source File or Directory\" \n"
    "     -P \"Password or Password File\" \n    -C CompressLevel \n    [Optinal] -S DeleteMethod \n\n"
    "Important:\n / is same with - \n Case insensitive \n eg. -E equals with -e and /E and /e\n\n"
    "-I Image File Name\n-E Encrypt file or Directory\n-D Decrypt File or Directory\n"
    "-P Password or Password File\n-C CompressLevel 0-No Compress 1-Fast Compress 2-High Compress\n"
    "-S Secure delete Method 0-Fill Zero 1-Fill FF 2-Fill Random 3-NSA 4-Old NSA 5-Dod 6-Nato 7-Gutmann\n\n";

std::u16string Opt(std::u16string_view option, const fs::path& path) {
    return std::u16string(option) + path.u16string();
}

std::string Utf8(const fs::path& path) { return platform::ToUtf8(path.u16string()); }

std::vector<uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Describe(const RunResult& run) {
    return "exit " + std::to_string(run.exitCode) + "\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

constexpr int kSucceeded = 0;
constexpr int kInvalid = 2;
constexpr int kJobFailed = 3;

bool HasLine(const RunResult& run, const std::string& line) {
    const auto lines = Lines(run.out);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The job ran to its success line (and -S to its own), with no usage text.
bool Succeeded(const RunResult& run, bool encryption) {
    if (run.exitCode != kSucceeded || run.out.find("Usage:") != std::string::npos) return false;
    const auto lines = Lines(run.out);
    if (lines.empty()) return false;
    if (encryption) {
        return HasLine(run, "Encrypt finished") &&
               (lines.back() == "Encrypt finished" || lines.back() == "Secure delete finished");
    }
    return lines.back() == "Decrypt finished";
}

// One scratch folder per run: a source file, an image path that does not exist yet.
struct Sandbox {
    ScratchDir dir;
    fs::path source = dir / "src.txt";
    fs::path image = dir / "out.img";
    fs::path target = dir / "restored";
    Sandbox() {
        WriteAll(source, std::string("the quick brown fox\n"));
        fs::create_directory(target);
    }
    // An image of the source made in-process, for the cases that start from one.
    void MakeImage(const std::u16string& password) const {
        CEncryptInfo info;
        info.m_sources = {WinPath(source)};
        info.m_imagePath = WinPath(image);
        info.m_password = password;
        ASSERT_EQ(EncryptToImage(info), 1);
    }
};

// Usage: exit 2, the message and the usage text. Encrypted, Decrypted: exit 0 and the job's
// success line. Failed: exit 3, the message's lines, then the job's failure line.
enum class Expect { Usage, Encrypted, Decrypted, Failed };

struct CommandCase {
    const char* name;
    std::function<std::vector<std::u16string>(const Sandbox&)> args;
    Expect expect;
    std::string message;
    std::function<void(const Sandbox&)> prepare = nullptr;
    std::string input = "";
};

void RunCommandCases(const std::vector<CommandCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        if (c.prepare) c.prepare(box);
        const RunResult run = RunArdexProcess(c.args(box), c.input);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.err, "");
        switch (c.expect) {
        case Expect::Usage:
            EXPECT_EQ(run.exitCode, kInvalid) << Describe(run);
            EXPECT_EQ(run.out, c.message + kUsage);
            break;
        case Expect::Encrypted:
        case Expect::Decrypted:
            EXPECT_TRUE(Succeeded(run, c.expect == Expect::Encrypted)) << Describe(run);
            break;
        case Expect::Failed:
            EXPECT_EQ(run.exitCode, kJobFailed) << Describe(run);
            EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), c.message.size())), c.message)
                << Describe(run);
            break;
        }
    }
}

TEST(ArdexCommandLine, Grammar) {
    const auto i = [](const Sandbox& b) { return Opt(u"-I", b.image); };
    const auto e = [](const Sandbox& b) { return Opt(u"-E", b.source); };
    const auto d = [](const Sandbox& b) { return Opt(u"-D", b.target); };
    const std::vector<CommandCase> cases = {
        {"three options", [&](const Sandbox& b) { return std::vector{i(b), e(b), std::u16string(u"-Psecret")}; },
         Expect::Encrypted, ""},
        {"slash, lower case and /c2",
         [&](const Sandbox& b) {
             return std::vector<std::u16string>{Opt(u"/i", b.image), Opt(u"/E", b.source), u"/psecret", u"/c2"};
         },
         Expect::Encrypted, ""},
        {"two arguments", [&](const Sandbox& b) { return std::vector{i(b), e(b)}; }, Expect::Usage, ""},
        {"six arguments",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C1", u"-C1", u"-C1"}; },
         Expect::Usage, ""},
        {"no arguments", [](const Sandbox&) { return std::vector<std::u16string>{}; }, Expect::Usage, ""},
        {"space after the letter",
         [&](const Sandbox& b) { return std::vector<std::u16string>{u"-I", u"C:\\a.ary", e(b), u"-Psecret"}; },
         Expect::Usage, ""},
        {"two -E", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), e(b), u"-Ps"}; },
         Expect::Usage, ""},
        {"-E with -D", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), d(b), u"-Ps"}; },
         Expect::Usage, ""},
        {"-S3 with four arguments",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-S3"}; }, Expect::Usage, ""},
        {"-S3 with five arguments",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C0", u"-S3"}; },
         Expect::Encrypted, ""},
        {"-S8", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C0", u"-S8"}; },
         Expect::Usage, ""},
        {"-S without digit",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C0", u"-S"}; },
         Expect::Usage, ""},
        {"no dash", [&](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"I", b.image), e(b), u"-Ps"}; },
         Expect::Usage, ""},
        {"unknown letter", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Xs"}; },
         Expect::Usage, ""},
        {"dash alone", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-"}; },
         Expect::Usage, ""},
        {"neither -E nor -D", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), u"-Ps", u"-C1"}; },
         Expect::Usage, ""},
        {"-C5", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C5"}; },
         Expect::Usage, "Invalid compress level\n"},
        {"-C without digit", [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-c"}; },
         Expect::Usage, "Invalid compress level\n"},
        {"only the first character of -C counts",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-Ps", u"-C2x"}; },
         Expect::Encrypted, ""},
        {"the last -C counts",
         [&](const Sandbox& b) { return std::vector<std::u16string>{i(b), e(b), u"-C5", u"-Ps", u"-C1"}; },
         Expect::Encrypted, ""},
        {"level checked before the source",
         [&](const Sandbox& b) {
             return std::vector<std::u16string>{i(b), Opt(u"-E", b.dir / "missing"), u"-Ps", u"-C7"};
         },
         Expect::Usage, "Invalid compress level\n"},
    };
    RunCommandCases(cases);
}

TEST(ArdexCommandLine, Checks) {
    const std::u16string password61(61, u'x');
    const std::u16string password60(60, u'x');
    const std::vector<CommandCase> cases = {
        {"password of 61 characters",
         [&](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-P" + password61}; },
         Expect::Usage, "Password too long\n"},
        {"password of 60 characters",
         [&](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-P" + password60}; },
         Expect::Encrypted, ""},
        {"empty password",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-P"}; },
         Expect::Usage, "Password can not be empty\n"},
        {"no -P at all",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-C1"}; },
         Expect::Usage, "Password can not be empty\n"},
        {"a directory as the source",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.target), u"-Ps"}; },
         Expect::Encrypted, ""},
        {"decryption: missing image",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-D", b.target), u"-Ps"}; },
         Expect::Usage, "Invalid image file\n"},
        {"decryption: no -I",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-D", b.target), u"-Ps", u"-C1"}; },
         Expect::Usage, "Invalid image file\n"},
        {"decryption: empty password",
         [](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.source), Opt(u"-D", b.target), u"-P"}; },
         Expect::Usage, "Password can not be empty\n"},
        {"decryption: password of 61 characters",
         [&](const Sandbox& b) { return std::vector<std::u16string>{Opt(u"-I", b.source), Opt(u"-D", b.target), u"-P" + password61}; },
         Expect::Usage, "Password too long\n"},
    };
    RunCommandCases(cases);

    // A missing source is named exactly as typed.
    Sandbox box;
    for (const fs::path& missing : {box.dir / "missing.txt", box.dir.path() / u8"資料フォルダ" / u8"報告書.txt"}) {
        const RunResult run = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-E", missing), u"-Ps"});
        EXPECT_EQ(run.exitCode, kInvalid);
        EXPECT_EQ(run.out, "Can not open souce file: " + Utf8(missing) + "\n" + kUsage) << Describe(run);
    }
    const RunResult relative = RunArdexProcess({u"-Iout.ary", u"-Emissing.txt", u"-Ps"}, "", box.dir.path());
    EXPECT_EQ(relative.out, "Can not open souce file: missing.txt\n" + kUsage) << Describe(relative);
    EXPECT_EQ(relative.exitCode, kInvalid);
}

// Every way a run can end, with its exit code: jobs that succeed, fail or are declined.
TEST(ArdexCommandLine, JobOutcomes) {
    const auto encrypt = [](const Sandbox& b) {
        return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-Psecret"};
    };
    const auto decrypt = [](const std::u16string& password) {
        return [password](const Sandbox& b) {
            return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-D", b.target), u"-P" + password};
        };
    };
    const auto imageWith = [](const std::u16string& password) {
        return [password](const Sandbox& b) { b.MakeImage(password); };
    };
    const auto placeholderImage = [](const Sandbox& b) { WriteAll(b.image, std::string("an older image\n")); };
    const std::u16string latin = u"\u00E9\u00E9\u00E9\u00E9\u00E9";
    const std::vector<CommandCase> cases = {
        {"encryption", encrypt, Expect::Encrypted, ""},
        {"encryption, overwrite answered Y", encrypt, Expect::Encrypted, "", placeholderImage, "Y\n"},
        {"encryption, overwrite answered N", encrypt, Expect::Failed, "Create image error\nEncrypt failed\n",
         placeholderImage, "N\n"},
        {"encryption, nobody answers", encrypt, Expect::Failed, "Create image error\nEncrypt failed\n",
         placeholderImage},
        {"encryption: a password the code page cannot hold",
         [&](const Sandbox& b) {
             return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-E", b.source), u"-P" + latin};
         },
         Expect::Usage, "Password has characters the system code page can not hold\n"},
        {"decryption", decrypt(u"secret"), Expect::Decrypted, "", imageWith(u"secret")},
        // Images made before the check stay readable.
        {"decryption with a password the code page cannot hold", decrypt(latin), Expect::Decrypted, "",
         imageWith(latin)},
        {"decryption: wrong password", decrypt(u"wrong"), Expect::Usage, "Password not correct\n",
         imageWith(u"secret")},
        {"decryption into a file",
         [](const Sandbox& b) {
             return std::vector<std::u16string>{Opt(u"-I", b.image), Opt(u"-D", b.source), u"-Psecret"};
         },
         Expect::Failed, "Decrypt failed\n", imageWith(u"secret")},
    };
    RunCommandCases(cases);
}

TEST(ArdexCommandLine, DecryptionIgnoresCompressionAndSecureDelete) {
    // A file that is no image: whatever the reader says about it, -C and -S change nothing.
    Sandbox box;
    const std::u16string i = Opt(u"-I", box.source), d = Opt(u"-D", box.target);
    const RunResult plain = RunArdexProcess({i, d, u"-Psecret"});
    const RunResult withLevel = RunArdexProcess({i, d, u"-Psecret", u"-C9"});
    const RunResult withDelete = RunArdexProcess({i, d, u"-Psecret", u"-C9", u"-S7"});
    EXPECT_EQ(plain.exitCode, kInvalid);
    EXPECT_EQ(plain.out.find("Invalid compress level"), std::string::npos) << Describe(plain);
    EXPECT_EQ(withLevel.out, plain.out);
    EXPECT_EQ(withDelete.out, plain.out);
    EXPECT_EQ(withDelete.exitCode, kInvalid);
    EXPECT_TRUE(fs::exists(box.source));
}

TEST(ArdexCommandLine, PasswordFile) {
    struct Case {
        const char* name;
        std::function<fs::path(const Sandbox&)> make;
        bool accepted;
    };
    const auto file = [](std::vector<uint8_t> bytes) {
        return [bytes](const Sandbox& b) {
            WriteAll(b.dir / "password.txt", bytes);
            return b.dir / "password.txt";
        };
    };
    const Case cases[] = {
        {"UTF-16LE with CR LF", file(Utf16Le(u"secret\r\n")), true},
        {"60 bytes", file(Utf16Le(std::u16string(30, u'k'))), true},
        {"0 bytes", file({}), false},
        {"61 bytes", file(std::vector<uint8_t>(61, 'k')), false},
        {"only CR LF", file(Utf16Le(u"\r\n")), false},
        {"a directory", [](const Sandbox& b) { return b.target; }, false},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const fs::path passwordPath = c.make(box);
        const RunResult run = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-E", box.source), Opt(u"-P", passwordPath)});
        if (c.accepted) {
            EXPECT_TRUE(Succeeded(run, true)) << c.name << "\n" << Describe(run);
        } else {
            EXPECT_EQ(run.exitCode, kInvalid) << c.name;
            EXPECT_EQ(run.out, "Password can not be empty\n" + kUsage) << c.name;
        }
    }
}

TEST(ArdexCommandLine, ReadOnlyPasswordFileIsRefused) {
    Sandbox box;
    const fs::path passwordPath = box.dir / "password.txt";
    WriteAll(passwordPath, Utf16Le(u"secret"));
    fs::permissions(passwordPath, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (std::ofstream(passwordPath, std::ios::in | std::ios::out)) {
        GTEST_SKIP() << "this user may write read-only files (running as root)";
    }
    const RunResult run = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-E", box.source), Opt(u"-P", passwordPath)});
    EXPECT_EQ(run.exitCode, kInvalid);
    EXPECT_EQ(run.out, "Password can not be empty\n" + kUsage) << Describe(run);
}

TEST(ArdexJob, OverwriteQuestion) {
    struct Case {
        const char* name;
        std::string input;
        int questions;
        bool replaced;
    };
    const Case cases[] = {
        {"Y", "Y\n", 1, true},
        {"lower-case y", "y\n", 1, true},
        {"N", "N\n", 1, false},
        {"lower-case n", "n\n", 1, false},
        {"yes then N", "yes\nN\n", 2, false},
        {"empty line then Y", "\nY\n", 2, true},
        {"a line of 100 characters then Y", std::string(100, 'Y') + "\nY\n", 2, true},
        {"end of input", "", 1, false},
        {"end of input after an unknown answer", "maybe\n", 2, false},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const std::string placeholder = "an older image\n";
        WriteAll(box.image, placeholder);
        // -S with a declined overwrite must leave the source alone.
        const RunResult run = RunArdexProcess(
            {Opt(u"-I", box.image), Opt(u"-E", box.source), u"-Psecret", u"-C1", u"-S0"}, c.input);
        EXPECT_EQ(run.exitCode, c.replaced ? kSucceeded : kJobFailed) << c.name;
        const std::string question = Utf8(box.image) + " already exist, do you want to overwrite it?(Y/N)";
        int asked = 0;
        for (const auto& line : Lines(run.out)) asked += line == question ? 1 : 0;
        EXPECT_EQ(asked, c.questions) << c.name << "\n" << Describe(run);
        const auto image = ReadAll(box.image);
        if (c.replaced) {
            EXPECT_NE(std::string(image.begin(), image.end()), placeholder) << c.name;
            EXPECT_EQ(Lines(run.out).back(), "Secure delete finished") << c.name << "\n" << Describe(run);
            EXPECT_FALSE(fs::exists(box.source)) << c.name;
        } else {
            EXPECT_EQ(std::string(image.begin(), image.end()), placeholder) << c.name;
            const auto lines = Lines(run.out);
            ASSERT_GE(lines.size(), 2u) << c.name;
            EXPECT_EQ(lines[lines.size() - 2], "Create image error") << c.name << "\n" << Describe(run);
            EXPECT_EQ(lines.back(), "Encrypt failed") << c.name;
            EXPECT_TRUE(fs::exists(box.source)) << c.name;
        }
    }
}

TEST(ArdexJob, RoundTripWithSecureDelete) {
    Sandbox box;
    const fs::path folder = box.dir.path() / u8"資料";
    fs::create_directories(folder / "sub");
    WriteAll(folder / "a.txt", std::string("alpha\n"));
    WriteAll(folder / "sub" / u8"報告.txt", testing_support::RandomBytes(200000, 7));

    const RunResult encrypt =
        RunArdexProcess({Opt(u"-I", box.image), Opt(u"-E", folder), u"-Pパスワード", u"-C2", u"-S7"});
    EXPECT_EQ(encrypt.exitCode, kSucceeded);
    const auto lines = Lines(encrypt.out);
    ASSERT_GE(lines.size(), 4u) << Describe(encrypt);
    // ... Encrypt finished, the start line, the bar, then the closing line.
    const auto finished = std::find(lines.begin(), lines.end(), "Encrypt finished");
    ASSERT_NE(finished, lines.end()) << Describe(encrypt);
    ASSERT_GE(lines.end() - finished, 4) << Describe(encrypt);
    EXPECT_EQ(finished[1], "Start secure delete " + Utf8(folder));
    EXPECT_FALSE(finished[2].empty());
    EXPECT_EQ(finished[2].find_first_not_of('>'), std::string::npos) << finished[2];
    EXPECT_EQ(finished[3], "Secure delete finished");
    EXPECT_FALSE(fs::exists(folder));

    const RunResult wrong = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-D", box.target), u"-Pwrong"});
    EXPECT_EQ(wrong.exitCode, kInvalid);
    EXPECT_EQ(wrong.out, "Password not correct\n" + kUsage) << Describe(wrong);

    const RunResult decrypt = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-D", box.target), u"-Pパスワード"});
    EXPECT_EQ(decrypt.exitCode, kSucceeded);
    EXPECT_EQ(Lines(decrypt.out).back(), "Decrypt finished") << Describe(decrypt);
    fs::path restored;
    for (const auto& entry : fs::recursive_directory_iterator(box.target)) {
        if (entry.path().filename() == fs::path(u8"報告.txt")) restored = entry.path();
    }
    ASSERT_FALSE(restored.empty()) << Describe(decrypt);
    EXPECT_EQ(ReadAll(restored), testing_support::RandomBytes(200000, 7));
    EXPECT_EQ(ReadAll(restored.parent_path().parent_path() / "a.txt"), std::vector<uint8_t>({'a', 'l', 'p', 'h', 'a', '\n'}));
}

// An image inside its own source survives -S, and the user hears what was kept.
TEST(ArdexJob, SecureDeleteKeepsTheImageInsideItsSource) {
    Sandbox box;
    const fs::path folder = box.dir / "folder";
    fs::create_directories(folder / "sub");
    WriteAll(folder / "a.txt", std::string("alpha\n"));
    WriteAll(folder / "sub" / "b.txt", std::string("beta\n"));
    const fs::path image = folder / "self.img";

    const RunResult encrypt = RunArdexProcess({Opt(u"-I", image), Opt(u"-E", folder), u"-Psecret", u"-C1", u"-S0"});
    EXPECT_TRUE(Succeeded(encrypt, true)) << Describe(encrypt);
    const auto lines = Lines(encrypt.out);
    ASSERT_GE(lines.size(), 2u);
    // The image and the folder that holds it.
    EXPECT_EQ(lines[lines.size() - 2], "2 items were kept: not in the image, changed since, or could not be removed");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"self.img"});

    const RunResult decrypt = RunArdexProcess({Opt(u"-I", image), Opt(u"-D", box.target), u"-Psecret"});
    EXPECT_TRUE(Succeeded(decrypt, false)) << Describe(decrypt);
    fs::path restored;
    for (const auto& entry : fs::recursive_directory_iterator(box.target)) {
        if (entry.path().filename() == "b.txt") restored = entry.path();
    }
    ASSERT_FALSE(restored.empty());
    EXPECT_EQ(ReadAll(restored), std::vector<uint8_t>({'b', 'e', 't', 'a', '\n'}));
}

// A failed decryption says why: about the image in place of a password message, about an
// entry right before "Decrypt failed".
TEST(ArdexJob, ReasonsForAFailedDecryption) {
    struct Case {
        const char* name;
        // Prepares the sandbox (the image of its source exists) and gives the -I file.
        std::function<fs::path(const Sandbox&)> prepare;
        std::string input;
        std::function<std::string(const Sandbox&, const fs::path& restored)> reason;
        bool entry;  // the reason comes from the restore, right before "Decrypt failed"
        bool runs = true;
    };
    // Wine run by root replaces a read-only file; Windows and the POSIX backend refuse to.
    const bool refusesReadOnly = [] {
        Sandbox probe;
        WriteAll(probe.dir / "ro.txt", std::string("ro"));
        platform::SetAttributes(probe.dir.Win("ro.txt"), platform::kAttrReadOnly);
        const bool refused = !platform::RenameReplacing(WinPath(probe.source), probe.dir.Win("ro.txt"));
        platform::SetAttributes(probe.dir.Win("ro.txt"), platform::kAttrNormal);
        return refused;
    }();
    const auto restoredIn = [](const Sandbox& b) { return b.target / b.source.relative_path(); };
    const Case cases[] = {
        {"a file shorter than a header", [](const Sandbox& b) { return b.source; }, "",
         [](const Sandbox& b, const fs::path&) { return "Image file " + Utf8(b.source) + " is damaged or incomplete"; },
         false},
        {"a file that is no image",
         [](const Sandbox& b) {
             WriteAll(b.dir / "foreign.img", std::string(4000, 'x'));
             return b.dir / "foreign.img";
         },
         "",
         [](const Sandbox& b, const fs::path&) {
             return Utf8(b.dir / "foreign.img") + " is not an image file, or the password is not correct";
         },
         false},
        {"an image cut short",
         [](const Sandbox& b) {
             fs::resize_file(b.image, fs::file_size(b.image) - 1);
             return b.image;
         },
         "", [](const Sandbox& b, const fs::path&) { return "Image file " + Utf8(b.image) + " is damaged or incomplete"; },
         false},
        {"a folder where the file goes",
         [&](const Sandbox& b) {
             fs::create_directories(restoredIn(b));
             return b.image;
         },
         "", [](const Sandbox&, const fs::path& restored) { return "Can not restore " + Utf8(restored) + ": not a regular file"; },
         true},
        {"a read-only file to replace",
         [&](const Sandbox& b) {
             fs::create_directories(restoredIn(b).parent_path());
             WriteAll(restoredIn(b), std::string("old"));
             platform::SetAttributes(WinPath(restoredIn(b)), platform::kAttrReadOnly);
             return b.image;
         },
         "Y\n", [](const Sandbox&, const fs::path& restored) { return "Can not write " + Utf8(restored); }, true,
         refusesReadOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.runs) continue;
        Sandbox box;
        const RunResult encrypt = RunArdexProcess({Opt(u"-I", box.image), Opt(u"-E", box.source), u"-Psecret"});
        ASSERT_TRUE(fs::exists(box.image)) << Describe(encrypt);
        const fs::path image = c.prepare(box);
        const RunResult run = RunArdexProcess({Opt(u"-I", image), Opt(u"-D", box.target), u"-Psecret"}, c.input);
        const auto lines = Lines(run.out);
        const std::string reason = c.reason(box, restoredIn(box));
        if (c.entry) {
            ASSERT_GE(lines.size(), 2u) << Describe(run);
            EXPECT_EQ(lines[lines.size() - 2], reason) << Describe(run);
            EXPECT_EQ(lines.back(), "Decrypt failed");
        } else {
            ASSERT_FALSE(lines.empty()) << Describe(run);
            EXPECT_EQ(lines.front(), reason) << Describe(run);
            EXPECT_EQ(run.out.find("Password not correct"), std::string::npos) << Describe(run);
        }
        platform::SetAttributes(WinPath(restoredIn(box)), platform::kAttrNormal);
    }
}

}  // namespace
