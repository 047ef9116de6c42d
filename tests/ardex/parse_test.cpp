// The command line, the password file and the message formatter, driven in-process so
// the job records can be inspected directly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "TestFiles.h"
#include "ardex/Ardex.h"
#include "platform/Text.h"

namespace fs = std::filesystem;
using testing_support::ScratchDir;
using testing_support::WinPath;
using testing_support::WriteAll;

namespace {

void ResetJobState() {
    g_encryptInfo = CEncryptInfo();
    std::memset(&g_decryptParams, 0, sizeof(g_decryptParams));
    g_secureDeleteRequested = 0;
    g_deleteMethod = 0;
}

std::u16string Opt(std::u16string_view option, const fs::path& path) {
    return std::u16string(option) + path.u16string();
}

std::u16string Field(const char16_t* field, size_t capacity) { return FieldText(field, capacity); }

std::vector<uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

class ParseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetJobState();
        WriteAll(m_dir / "src.txt", std::string("hello"));
    }
    void TearDown() override { ResetJobState(); }

    ScratchDir m_dir;
    fs::path m_source = m_dir / "src.txt";
    fs::path m_image = m_dir / "out.img";
};

TEST_F(ParseTest, GrammarDecidesTheJob) {
    const std::u16string i = Opt(u"-I", m_image), e = Opt(u"-E", m_source), d = Opt(u"-D", m_dir.path());
    struct Case {
        const char* name;
        std::vector<std::u16string> args;
        int32_t job;
    };
    const Case cases[] = {
        {"three options", {i, e, u"-Psecret"}, 1},
        {"slash and lower case", {Opt(u"/i", m_image), Opt(u"/E", m_source), u"/psecret", u"/c2"}, 1},
        {"decryption", {i, d, u"-Psecret"}, 2},
        {"lower-case d", {i, Opt(u"/d", m_dir.path()), u"-psecret"}, 2},
        {"two arguments", {i, e}, 0},
        {"six arguments", {i, e, u"-Psecret", u"-C1", u"-C1", u"-C1"}, 0},
        {"value in the next argument", {u"-I", u"C:\\a.ary", e, u"-Psecret"}, 0},
        {"two -E", {i, e, e, u"-Psecret"}, 0},
        {"-E then -D", {i, e, d, u"-Psecret"}, 0},
        {"-D then -E", {i, d, e, u"-Psecret"}, 0},
        {"-S3 with four arguments", {i, e, u"-Psecret", u"-S3"}, 0},
        {"-S3 with five arguments", {i, e, u"-Psecret", u"-C0", u"-S3"}, 1},
        {"-S7 with five arguments", {i, e, u"-Psecret", u"-C0", u"-S7"}, 1},
        {"-S8", {i, e, u"-Psecret", u"-C0", u"-S8"}, 0},
        {"-S without digit", {i, e, u"-Psecret", u"-C0", u"-S"}, 0},
        {"-S with a letter", {i, e, u"-Psecret", u"-C0", u"-Sx"}, 0},
        {"-S with decryption", {i, d, u"-Psecret", u"-C0", u"-S3"}, 2},
        {"no dash", {Opt(u"I", m_image), e, u"-Psecret"}, 0},
        {"empty argument", {i, e, u""}, 0},
        {"dash alone", {i, e, u"-"}, 0},
        {"unknown letter", {i, e, u"-Xyz"}, 0},
        {"neither -E nor -D", {i, u"-Psecret", u"-C1"}, 0},
        {"-C takes any character", {i, e, u"-Czz"}, 1},
        {"only options of the job's kind", {u"-C1", e, u"-C2"}, 1},
    };
    for (const auto& c : cases) {
        ResetJobState();
        EXPECT_EQ(ParseArguments(c.args), c.job) << c.name;
    }
}

TEST_F(ParseTest, EncryptionFieldsAndLastOptionWins) {
    const fs::path other = m_dir / "other.ary";
    ASSERT_EQ(ParseArguments({Opt(u"-I", other), Opt(u"/e", m_source), u"-Pfirst", u"-psecond", Opt(u"/I", m_image)}), 1);
    ASSERT_EQ(g_encryptInfo.m_sources.size(), 1u);
    EXPECT_EQ(g_encryptInfo.m_sources[0], WinPath(m_source));
    EXPECT_EQ(g_encryptInfo.m_imagePath, WinPath(m_image));
    EXPECT_EQ(Field(g_decryptParams.imagePath, kPathChars), WinPath(m_image));
    EXPECT_EQ(g_encryptInfo.m_password, u"second");
    EXPECT_EQ(Field(g_decryptParams.password, kPasswordChars), u"second");
    EXPECT_EQ(g_encryptInfo.m_compressLevel, 0);
    EXPECT_EQ(g_secureDeleteRequested, 0);
    // The limits keep the defaults of a new job record: none is enforced.
    EXPECT_EQ(g_encryptInfo.m_options.optionsEnabled, 0);
}

TEST_F(ParseTest, CompressionLevelIsTheFirstCharacterOnly) {
    struct Case {
        std::u16string option;
        int32_t level;
    };
    const Case cases[] = {{u"-C0", 0}, {u"-c1", 1}, {u"/C2", 2}, {u"-C21", 2}, {u"-C5", 5}, {u"-C", -48}, {u"-Ca", 49}};
    for (const auto& c : cases) {
        ResetJobState();
        ASSERT_EQ(ParseArguments({Opt(u"-I", m_image), Opt(u"-E", m_source), u"-Ps", c.option}), 1);
        EXPECT_EQ(g_encryptInfo.m_compressLevel, c.level) << platform::ToUtf8(c.option);
    }
}

TEST_F(ParseTest, DecryptionFieldsAndSecureDelete) {
    ASSERT_EQ(ParseArguments({Opt(u"-I", m_image), Opt(u"-D", m_dir.path()), u"-Ppw", u"-C1", u"-S5"}), 2);
    EXPECT_EQ(Field(g_decryptParams.targetDir, kPathChars), WinPath(m_dir.path()));
    EXPECT_EQ(g_decryptParams.restoreMode, 1);
    EXPECT_EQ(g_decryptParams.selectOnly, 0);
    EXPECT_EQ(g_decryptParams.selectedPath[0], u'\0');
    EXPECT_EQ(g_deleteMethod, 5);
    EXPECT_EQ(g_secureDeleteRequested, 1);
}

TEST_F(ParseTest, LongValuesAreCutInsideTheirFields) {
    const std::u16string longName(300, u'n');
    const std::u16string password60(60, u'p');
    const std::u16string password61(61, u'q');

    ASSERT_EQ(ParseArguments({Opt(u"-I", m_dir.path() / fs::path(longName)), Opt(u"-D", m_dir.path() / fs::path(longName)),
                              u"-P" + password60}),
              2);
    EXPECT_EQ(g_encryptInfo.m_imagePath.size(), WinPath(m_dir.path()).size() + 1 + 300);
    const std::u16string cutImage = Field(g_decryptParams.imagePath, kPathChars);
    EXPECT_EQ(cutImage.size(), kPathChars - 1);
    EXPECT_EQ(cutImage, g_encryptInfo.m_imagePath.substr(0, kPathChars - 1));
    EXPECT_EQ(Field(g_decryptParams.targetDir, kPathChars).size(), kPathChars - 1);
    // Exactly 60 characters fit: the core reads at most 60.
    EXPECT_EQ(Field(g_decryptParams.password, kPasswordChars), password60);

    ResetJobState();
    ASSERT_EQ(ParseArguments({Opt(u"-I", m_image), Opt(u"-E", m_source), u"-P" + password61}), 1);
    EXPECT_EQ(g_encryptInfo.m_password, password61);
    EXPECT_EQ(Field(g_decryptParams.password, kPasswordChars), password61.substr(0, kPasswordChars - 1));
}

TEST_F(ParseTest, PasswordOptionNamingAPath) {
    const fs::path file = m_dir / "pw.bin";
    WriteAll(file, Utf16Le(u"fromfile\r\n"));
    ASSERT_EQ(ParseArguments({Opt(u"-I", m_image), Opt(u"-E", m_source), Opt(u"-P", file)}), 1);
    EXPECT_EQ(g_encryptInfo.m_password, u"fromfile");
    EXPECT_EQ(Field(g_decryptParams.password, kPasswordChars), u"fromfile");

    // A directory cannot be opened as a password file: the earlier password stays.
    ResetJobState();
    ASSERT_EQ(ParseArguments({Opt(u"-E", m_source), u"-Pearlier", Opt(u"-P", m_dir.path())}), 1);
    EXPECT_EQ(g_encryptInfo.m_password, u"earlier");

    // A value naming nothing is the password itself, unchanged.
    ResetJobState();
    const std::u16string missing = (m_dir / "no such file").u16string();
    ASSERT_EQ(ParseArguments({Opt(u"-E", m_source), u"-P" + missing, u"-C0"}), 1);
    EXPECT_EQ(g_encryptInfo.m_password, missing);
}

TEST_F(ParseTest, PasswordFileContents) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t result;
        std::u16string password;
    };
    std::vector<uint8_t> odd = Utf16Le(u"ab");
    odd.push_back('c');
    std::vector<uint8_t> bytes61 = Utf16Le(std::u16string(30, u'x'));
    bytes61.push_back('x');
    const Case cases[] = {
        {"line end cut", Utf16Le(u"secret\r\n"), 1, u"secret"},
        {"cut at the first CR LF", Utf16Le(u"pa\r\nss\r\n"), 1, u"pa"},
        {"lone CR and LF kept", Utf16Le(u"a\rb\nc"), 1, u"a\rb\nc"},
        {"no line end", Utf16Le(u"plain"), 1, u"plain"},
        {"Japanese", Utf16Le(u"パスワード\r\n"), 1, u"パスワード"},
        {"ends at a zero", Utf16Le(std::u16string(u"ab\0cd", 5)), 1, u"ab"},
        {"byte-order mark kept", Utf16Le(u"\uFEFFbom"), 1, u"\uFEFFbom"},
        {"odd last byte", odd, 1, u"abc"},
        {"60 bytes", Utf16Le(std::u16string(30, u'y')), 1, std::u16string(30, u'y')},
        {"one byte", {'z'}, 1, u"z"},
        {"empty file", {}, 0, u""},
        {"61 bytes", bytes61, 0, u""},
        {"only a line end", Utf16Le(u"\r\n"), 1, u""},
    };
    for (const auto& c : cases) {
        ResetJobState();
        const fs::path file = m_dir / "password.txt";
        WriteAll(file, c.bytes);
        EXPECT_EQ(ReadPasswordFile(WinPath(file)), c.result) << c.name;
        EXPECT_EQ(g_encryptInfo.m_password, c.password) << c.name;
        EXPECT_EQ(Field(g_decryptParams.password, kPasswordChars), c.password) << c.name;
    }
}

TEST_F(ParseTest, UnopenablePasswordFilesLeaveThePassword) {
    g_encryptInfo.m_password = u"before";
    EXPECT_EQ(ReadPasswordFile(WinPath(m_dir / "missing.txt")), 0);
    EXPECT_EQ(ReadPasswordFile(WinPath(m_dir.path())), 0);
    EXPECT_EQ(g_encryptInfo.m_password, u"before");

    const fs::path readOnly = m_dir / "readonly.txt";
    WriteAll(readOnly, Utf16Le(u"secret"));
    fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (std::ofstream(readOnly, std::ios::in | std::ios::out)) {
        GTEST_SKIP() << "this user may write read-only files (running as root)";
    }
    EXPECT_EQ(ReadPasswordFile(WinPath(readOnly)), 0);
    EXPECT_EQ(g_encryptInfo.m_password, u"before");
}

TEST(FormatTextTest, Conversions) {
    struct Case {
        std::u16string format;
        std::vector<std::u16string> texts;
        std::vector<int32_t> numbers;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"Can not open souce file: %s", {u"C:\\資料\\報告.txt"}, {}, u"Can not open souce file: C:\\資料\\報告.txt"},
        {u"%s already exist", {u"100%s %d"}, {}, u"100%s %d already exist"},
        {u"Exceed max error count %d!", {}, {3}, u"Exceed max error count 3!"},
        {u"after %4.4d/%2.2d%2.2d.", {}, {2027, 3, 9}, u"after 2027/0309."},
        {u"%4.4d", {}, {12345}, u"12345"},
        {u"%2.2d", {}, {-5}, u"-05"},
        {u"[%5d|%-5d|%05d]", {}, {42, 42, -42}, u"[   42|42   |-0042]"},
        {u"%d", {}, {-2147483647 - 1}, u"-2147483648"},
        {u"100%% %d", {}, {1}, u"100% 1"},
        {u"missing %s and %d", {}, {}, u"missing  and "},
        {u"odd %x stays", {}, {}, u"odd %x stays"},
        {u"trailing %", {}, {}, u"trailing %"},
    };
    for (const auto& c : cases) {
        std::u16string got;
        if (!c.texts.empty()) {
            got = FormatText(c.format, {c.texts[0]});
        } else if (c.numbers.size() == 3) {
            got = FormatText(c.format, {c.numbers[0], c.numbers[1], c.numbers[2]});
        } else if (c.numbers.size() == 1) {
            got = FormatText(c.format, {c.numbers[0]});
        } else {
            got = FormatText(c.format);
        }
        EXPECT_EQ(got, c.expected) << platform::ToUtf8(c.format);
    }
}

TEST(StringTableTest, MethodNamesAndEngineLines) {
    const std::u16string_view names[] = {u"fill zero method", u"fill \"\"FF\"\" method", u"Random fill method",
                                         u"NSA method",       u"old NSA method",          u"DOD stand method",
                                         u"Nato method",      u"Gutmann method"};
    for (int method = 0; method < 8; ++method) EXPECT_EQ(ArdexString(25 + method), names[method]) << method;
    EXPECT_EQ(ArdexString(36), u"Start secure delete %s");
    EXPECT_EQ(ArdexString(21), u"Not enough memory");
    EXPECT_EQ(ArdexString(1), u"");
}

}  // namespace
