// Profile values through the real backend: an INI file in a temporary folder
// on POSIX, a key of its own under HKCU\Software\Molvar tests on Windows.
#include "support/test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <climits>
#include <string>

#include "platform/profile.h"
#include "text/cp932.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using namespace text;

constexpr int kDefault = -77;

class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() {
        where_.registryKey = "Molvar tests"_cp;
        // The temporary folder's name is unique: the test key of this run.
        where_.profileName = SjPath(folder_.path().filename());
        where_.folder = SjPath(folder_.path());
    }
    void TearDown() override { test::RemoveTestProfile(test::Utf8(folder_.path().filename())); }
#ifndef _WIN32
    fs::path File() const { return folder_.path() / (test::Utf8(folder_.path().filename()) + ".ini"); }
#endif

    int Read(const Cp932String& section, const Cp932String& entry) const {
        return ReadProfileInt(where_, section, entry, kDefault);
    }

    test::TempFolder folder_;
    ProfileLocation where_;
};

// 表 and ソ end in 0x5C, a backslash, in code page 932.
TEST_F(ProfileTest, ValuesComeBackAsWrittenAndWritingOneKeepsTheOthers) {
    EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), kDefault);  // nothing stored yet
    for (const int value : {3, 0, -1, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(WriteProfileInt(where_, "Settings"_cp, "Interval"_cp, value)) << value;
        EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), value);
    }
    ASSERT_TRUE(WriteProfileInt(where_, "Settings"_cp, "Other"_cp, 2));
    ASSERT_TRUE(WriteProfileInt(where_, Sj(u8"設定表"), Sj(u8"間隔ソ"), 5));
    ASSERT_TRUE(WriteProfileInt(where_, Sj(u8"設定"), Sj(u8"間隔"), 6));
    ASSERT_TRUE(WriteProfileInt(where_, "Settings"_cp, "Other"_cp, 20));
    EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), INT_MIN);
    EXPECT_EQ(Read("Settings"_cp, "Other"_cp), 20);
    EXPECT_EQ(Read(Sj(u8"設定表"), Sj(u8"間隔ソ")), 5);
    EXPECT_EQ(Read(Sj(u8"設定"), Sj(u8"間隔")), 6);
    EXPECT_EQ(Read(Sj(u8"設定表"), Sj(u8"間隔")), kDefault);
    EXPECT_EQ(Read("Other"_cp, "Interval"_cp), kDefault);
}

#ifdef _WIN32
// Only a REG_DWORD is a value; another type reads as the default, even of
// a DWORD's size.
TEST_F(ProfileTest, ValuesOfAnotherTypeReadAsTheDefault) {
    ASSERT_TRUE(WriteProfileInt(where_, "Settings"_cp, "Interval"_cp, 1));
    const std::wstring key = L"Software\\Molvar tests\\" + folder_.path().filename().wstring() + L"\\Settings";
    const DWORD four = 4;
    const wchar_t text[] = L"5";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Text", REG_SZ, text, sizeof text), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Binary", REG_BINARY, &four, sizeof four),
              ERROR_SUCCESS);
    EXPECT_EQ(Read("Settings"_cp, "Text"_cp), kDefault);
    EXPECT_EQ(Read("Settings"_cp, "Binary"_cp), kDefault);
    EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), 1);
}
#else
// A value is a decimal int with an optional sign and blanks around it;
// anything else is not a number. Names match exactly.
TEST_F(ProfileTest, AStoredTextReadsAsTheNumberOrTheDefault) {
    const std::pair<const char*, int> lines[] = {
        {"Interval= 2 ", 2}, {"Interval=\t-1", -1}, {"Interval=0", 0}, {"Interval=+5", 5},
        {"Interval=2147483647\r", INT_MAX}, {"Interval=-2147483648", INT_MIN}, {"Interval=abc", kDefault},
        {"Interval=12x", kDefault}, {"Interval=", kDefault}, {"Interval=  ", kDefault}, {"Interval=+-1", kDefault},
        {"Interval=0x10", kDefault}, {"Interval=1 2", kDefault}, {"Interval=2147483648", kDefault},
        {"Interval=-2147483649", kDefault}, {"interval=4", kDefault}, {"Interval", kDefault},
        {"[settings]\nInterval=4", kDefault}};
    for (const auto& [line, expected] : lines) {
        test::WriteText(File(), std::string("[Settings]\n") + line + "\n");
        EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), expected) << line;
    }
}

// One line changes or is added; comments, blank lines, lines the profile does
// not understand and the file's own line breaks stay.
TEST_F(ProfileTest, AWriteChangesOrAddsOneLine) {
    const char* const file = "; kept\n[Other]\nx=1\n\n[Settings]\nInterval=5\nnoise\n\n[Last]\ny=2";
    // Before, section, entry, value, after.
    const std::tuple<const char*, const char*, const char*, int, const char*> rewrites[] = {
        {file, "Settings", "Interval", 7, "; kept\n[Other]\nx=1\n\n[Settings]\nInterval=7\nnoise\n\n[Last]\ny=2"},
        {file, "Settings", "New", -3, "; kept\n[Other]\nx=1\n\n[Settings]\nInterval=5\nnoise\nNew=-3\n\n[Last]\ny=2"},
        {file, "Last", "z", 4, "; kept\n[Other]\nx=1\n\n[Settings]\nInterval=5\nnoise\n\n[Last]\ny=2\nz=4\n"},
        {file, "Fresh", "z", 4, "; kept\n[Other]\nx=1\n\n[Settings]\nInterval=5\nnoise\n\n[Last]\ny=2\n[Fresh]\nz=4\n"},
        {"[A]\r\nk=1\r\n", "A", "k", 2, "[A]\r\nk=2\r\n"},
        {"[A]\r\nk=1\r\n", "B", "k", 2, "[A]\r\nk=1\r\n[B]\r\nk=2\r\n"},
        // The first of two sections of one name is the one read, and so the one written.
        {"[A]\nk=1\n[B]\n[A]\nm=2\n", "A", "m", 3, "[A]\nk=1\n[B]\n[A]\nm=3\n"},
        {"[A]\nk=1\n[B]\n[A]\nm=2\n", "A", "n", 3, "[A]\nk=1\nn=3\n[B]\n[A]\nm=2\n"}};
    for (const auto& [before, section, entry, value, after] : rewrites) {
        test::WriteText(File(), before);
        ASSERT_TRUE(WriteProfileInt(where_, Cp932String::FromBytes(section), Cp932String::FromBytes(entry), value));
        EXPECT_EQ(test::ReadText(File()), after) << before << " with " << section << "/" << entry;
    }
}

// The caller makes the folder; what cannot hold the profile or is not one is
// left as it was.
TEST_F(ProfileTest, NothingIsWrittenWhereTheProfileCannotBe) {
    ProfileLocation missing = where_;
    missing.folder = SjPath(folder_.path() / "missing");
    EXPECT_FALSE(WriteProfileInt(missing, "Settings"_cp, "Interval"_cp, 1));
    EXPECT_EQ(ReadProfileInt(missing, "Settings"_cp, "Interval"_cp, kDefault), kDefault);
    EXPECT_FALSE(fs::exists(folder_.path() / "missing"));

    fs::create_directory(File());
    EXPECT_FALSE(WriteProfileInt(where_, "Settings"_cp, "Interval"_cp, 1));
    fs::remove(File());

    // Far more than a profile: neither read nor cut by a rewrite.
    const std::string large = "[Settings]\nInterval=1\n" + std::string(100 * 1024, ';') + "\n";
    test::WriteText(File(), large);
    EXPECT_EQ(Read("Settings"_cp, "Interval"_cp), kDefault);
    EXPECT_FALSE(WriteProfileInt(where_, "Settings"_cp, "Interval"_cp, 2));
    EXPECT_EQ(test::ReadText(File()), large);
}

// Names that would end the entry's line early or split it are refused.
TEST_F(ProfileTest, NamesThatBreakALineAreRefused) {
    EXPECT_FALSE(WriteProfileInt(where_, "Settings"_cp, "a=b"_cp, 1));
    EXPECT_FALSE(WriteProfileInt(where_, "Settings"_cp, ""_cp, 1));
    EXPECT_FALSE(WriteProfileInt(where_, "Set\ntings"_cp, "a"_cp, 1));
    EXPECT_FALSE(fs::exists(File()));
}
#endif

}  // namespace
}  // namespace molvar::platform
