#include <gtest/gtest.h>

#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "settings/IniFile.h"

#include <sys/stat.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale.h>
#include <sstream>

using namespace quorvane;
using fakes::FileSizeLimit;
using fakes::ReadBytes;
using fakes::TempFolder;
using fakes::WriteBytes;
using quorvane::testing::ScopedEnv;
namespace fs = std::filesystem;

namespace {

// The user's locale for one scope, as the environment names it; the process locale stays "C".
class NumericLocale {
public:
    explicit NumericLocale(const char* name) : env_("LC_ALL", name) {
        const locale_t installed = newlocale(LC_NUMERIC_MASK, name, locale_t(0));
        ok_ = installed != locale_t(0);
        if (ok_)
            freelocale(installed);
    }
    bool ok() const { return ok_; }

private:
    ScopedEnv env_;
    bool ok_ = false;
};

} // namespace

TEST(IniParse, TrimsSkipsCommentsAndIgnoresLinesBeforeTheFirstSection) {
    const IniFile ini = IniFile::Parse("orphan=1\r\n"
                                       "; comment=1\r\n"
                                       "  [ System ]  \r\n"
                                       "\t INTERVAL \t=\t 60 \x01\r\n"
                                       "  ;LOCATE_X=5\r\n"
                                       "no equals sign here\r\n"
                                       "\r\n"
                                       "NAME= a = b =c \r\n");
    EXPECT_EQ(ini.Find("System", "orphan"), std::nullopt);
    EXPECT_EQ(ini.Find("System", "INTERVAL"), "60");
    EXPECT_EQ(ini.Find("System", "LOCATE_X"), std::nullopt);
    EXPECT_EQ(ini.Find("System", ";LOCATE_X"), std::nullopt);
    EXPECT_EQ(ini.Find("System", "no equals sign here"), std::nullopt);
    EXPECT_EQ(ini.Find("System", "NAME"), "a = b =c");
    ASSERT_EQ(ini.Sections().size(), 1u);
    EXPECT_EQ(ini.Sections()[0].name, "System");
}

TEST(IniParse, NamesIgnoreCaseAndTheFirstEntryWins) {
    const IniFile ini =
        IniFile::Parse("[currency3]\nfrom=USD\nFROM=EUR\n[CURRENCY3]\nto=JPY\n[Other]\nfrom=X\n");
    EXPECT_EQ(ini.Find("Currency3", "From"), "USD");
    EXPECT_EQ(ini.Find("Currency3", "To"), "JPY");
    EXPECT_EQ(ini.Find("OTHER", "FROM"), "X");
    EXPECT_EQ(ini.Find("Currency4", "From"), std::nullopt);
}

TEST(IniParse, AcceptsCrLfCrAndLfLineEnds) {
    const IniFile ini = IniFile::Parse("[A]\ra=1\nb=2\r\nc=3\r\r\nd=4");
    EXPECT_EQ(ini.Find("A", "a"), "1");
    EXPECT_EQ(ini.Find("A", "b"), "2");
    EXPECT_EQ(ini.Find("A", "c"), "3");
    EXPECT_EQ(ini.Find("A", "d"), "4");
}

TEST(IniWrite, KeepsWrittenOrderWithAnEmptyLineAfterEverySection) {
    IniFile ini;
    ini.WriteString("System", "B", "2");
    ini.WriteString("System", "A", "");
    ini.WriteInteger("Mail", "PORT", -25);
    ini.WriteBool("system", "b", true); // same entry, other case
    ini.WriteReal("Mail", "AH", 0.00005);
    ini.WriteString("Mail", "Path", "line1\r\nline2\n[Mail]");
    EXPECT_EQ(ini.Text(), "[System]\r\nB=1\r\nA=\r\n\r\n"
                          "[Mail]\r\nPORT=-25\r\nAH=5E-5\r\nPath=line1  line2 [Mail]\r\n\r\n");
    ini.Clear();
    EXPECT_EQ(ini.Text(), "");
}

TEST(IniValues, IntegersReadDecimalAndBothHexForms) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"29", 29},
        {"-20", -20},
        {"+7", 7},
        {"0x1D", 29},
        {"0X1d", 29},
        {"$1D", 29},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", {}},
        {"$100000000", {}},
        {"abc", {}},
        {"", {}},
        {"-", {}},
        {"$", {}},
        {"0x", {}},
        {"12a", {}},
        {"1.5", {}},
        {" 5", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;

    const IniFile ini = IniFile::Parse("[S]\nEnable=2\nOff=0\nBad=yes\nPort=0x1D\nHex=abc\n");
    EXPECT_TRUE(ini.ReadBool("S", "Enable", false));
    EXPECT_FALSE(ini.ReadBool("S", "Off", true));
    EXPECT_TRUE(ini.ReadBool("S", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("S", "Missing", false));
    EXPECT_EQ(ini.ReadInteger("S", "Port", 25), 29);
    EXPECT_EQ(ini.ReadInteger("S", "Hex", 25), 25);
    EXPECT_EQ(ini.ReadString("S", "Missing", "dflt"), "dflt");
}

TEST(IniValues, RealsAreWrittenWithFifteenDigitsInTheShortestForm) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {0.00005, "5E-5"},
        {9e-5, "9E-5"},
        {1.5e20, "1.5E20"},
        {-1.5e-7, "-1.5E-7"},
        {0.0001, "0.0001"},
        {110.25, "110.25"},
        {-0.5, "-0.5"},
        {100, "100"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {123456789.123456789, "123456789.123457"},
        {999999999999999, "999999999999999"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"}, // rounds up into the exponent form
        {123456789012345678.0, "1.23456789012346E17"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatReal(c.value), c.text) << c.text;
        EXPECT_EQ(ParseReal(FormatReal(c.value)).value_or(-1), std::stod(c.text)) << c.text;
    }
}

TEST(IniValues, RealsReadOnlyWholeFiniteNumbers) {
    NumericLocale plain("C");
    EXPECT_EQ(ParseReal("110.25"), 110.25);
    EXPECT_EQ(ParseReal("5E-5"), 5e-5);
    EXPECT_EQ(ParseReal("1.5e20"), 1.5e20);
    EXPECT_EQ(ParseReal("+1.5"), 1.5);
    EXPECT_EQ(ParseReal(".5"), 0.5);
    EXPECT_EQ(ParseReal("-3"), -3);
    for (const char* bad : {"", "abc", "1.5x", "inf", "nan", "-inf", "1e999", "+-1", "1,5", "0x10", "1 5"})
        EXPECT_EQ(ParseReal(bad), std::nullopt) << bad;
}

TEST(IniValues, CommaLocaleReadsBothSeparatorsAndStillWritesAFullStop) {
    NumericLocale german("de_DE.UTF-8");
    ASSERT_TRUE(german.ok()) << "locale de_DE.UTF-8 missing: run scripts/setup";
    EXPECT_EQ(ParseReal("1,5"), 1.5);
    EXPECT_EQ(ParseReal("110.25"), 110.25);
    EXPECT_EQ(ParseReal("-0,00005"), -0.00005);
    EXPECT_EQ(ParseReal("1.234,5"), std::nullopt); // grouping is not a number here
    EXPECT_EQ(FormatReal(110.25), "110.25");
    EXPECT_EQ(FormatReal(1.5e20), "1.5E20");
}

TEST(IniFileLoad, MissingFileIsEmptyAndAFolderIsAnError) {
    TempFolder folder{"quorvane-ini"};
    const IniFile missing = IniFile::Load((folder.path() / "none.ini").string());
    EXPECT_TRUE(missing.Sections().empty());
    EXPECT_THROW(IniFile::Load(folder.path().string()), SettingsFileError);
}

TEST(IniFileLoad, ReadsCp932FilesAndDropsAUtf8ByteOrderMark) {
    const IniFile sjis = IniFile::Load(QUORVANE_TEST_DATA "/settings/cp932.ini");
    EXPECT_EQ(sjis.Find("Sound", "Name1"), "警報音（ソ表）");
    EXPECT_EQ(sjis.Find("Sound", "Path1"), "C:\\サウンド\\表示.wav");
    EXPECT_EQ(sjis.Find("Mail", "From"), "山田太郎 <yamada@example.jp>");

    TempFolder folder{"quorvane-ini"};
    const fs::path bom = folder.path() / "bom.ini";
    WriteBytes(bom, "\xEF\xBB\xBF[System]\r\nINTERVAL=7\r\n");
    EXPECT_EQ(IniFile::Load(bom.string()).Find("System", "INTERVAL"), "7");
}

TEST(IniFileLoad, OneStrayByteSpoilsOnlyItsOwnLine) {
    // UTF-8 Japanese, a line with a CP932 name, a line with a lone byte, and the UTF-8 after them.
    const IniFile mixed =
        IniFile::ParseBytes("[Sound]\r\nName1=警報音\r\nName2=\x83\x54\x83\x45\x83\x93\x83\x68\r"
                            "\nName3=a\xFF\nPath1=C:\\サウンド\\表示.wav\r\n");
    EXPECT_EQ(mixed.Find("Sound", "Name1"), "警報音");
    EXPECT_EQ(mixed.Find("Sound", "Name2"), "サウンド");
    EXPECT_EQ(mixed.Find("Sound", "Name3"), "a\uFFFD");
    EXPECT_EQ(mixed.Find("Sound", "Path1"), "C:\\サウンド\\表示.wav");
    // What a save writes back reads the same again.
    EXPECT_EQ(IniFile::ParseBytes(mixed.Text()).Text(), mixed.Text());
}

TEST(ReplaceFile, WritesOwnerOnlyAndReplacesTheOldContent) {
    TempFolder folder{"quorvane-ini"};
    const fs::path file = folder.path() / "q.ini";
    WriteBytes(file, "old content that is longer than the new one");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    ReplaceFile(file.string(), "[A]\r\n\r\n");
    EXPECT_EQ(ReadBytes(file), "[A]\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"q.ini"});
}

TEST(ReplaceFile, ReplacesTheTargetOfASymbolicLink) {
    TempFolder folder{"quorvane-ini"};
    const fs::path real = folder.path() / "real.ini";
    const fs::path link = folder.path() / "link.ini";
    WriteBytes(real, "old");
    fs::create_symlink(real, link);
    ReplaceFile(link.string(), "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "new");
}

TEST(ReplaceFile, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    TempFolder folder{"quorvane-ini"};
    const fs::path file = folder.path() / "q.ini";
    const std::string old = "[System]\r\nINTERVAL=60\r\n\r\n";
    WriteBytes(file, old);

    // A path below a plain file cannot be created, even by root.
    EXPECT_THROW(ReplaceFile((file / "inner.ini").string(), "x"), SettingsFileError);

    // A file size limit makes the write itself fail half-way.
    bool threw = false;
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        try {
            ReplaceFile(file.string(), std::string(4096, 'x'));
        } catch (const SettingsFileError& e) {
            threw = true;
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
    }

    EXPECT_TRUE(threw);
    EXPECT_EQ(ReadBytes(file), old);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"q.ini"});
}
