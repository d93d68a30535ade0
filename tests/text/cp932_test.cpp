#include <gtest/gtest.h>

#include <array>

#include "support/test_support.h"
#include "text/convert.h"
#include "text/cp932.h"

namespace molvar::text {
namespace {

using test::Sj;

TEST(Cp932Cut, NeverLeavesALeadByteWithoutItsTrailByte) {
    // Half-width katakana are single bytes (0xA1-0xDF), and a trail byte can
    // look like a backslash (表 is 0x95 0x5C) or a katakana (示 is 0x8E 0xA6):
    // only the walk from the start tells.
    const std::string kana = Sj(u8"あいう").bytes();
    const std::string mixed = Sj(u8"ｷｬﾝ表示a").bytes();
    EXPECT_EQ(CutLength(kana, 6), 6u);
    EXPECT_EQ(CutLength(kana, 5), 4u);
    EXPECT_EQ(CutLength(kana, 1), 0u);
    EXPECT_EQ(CutLength(mixed, 4), 3u);
    EXPECT_EQ(CutLength(mixed, 6), 5u);
    EXPECT_EQ(CutLength(mixed, 100), mixed.size());
    // A lone lead byte at the very end is not a character and is not kept.
    EXPECT_EQ(CutLength("ab\x82", 10), 2u);
}

TEST(Cp932Field, StoreCutsAtCharacterBoundaryAndKeepsBytesAfterTheNul) {
    std::array<char, 8> field;
    field.fill('#');
    // 5 bytes allowed: "aあい" is 5 bytes and fits, "aaあい" (6) loses its last character.
    EXPECT_EQ(StoreField(field, Sj(u8"aaあい"), 5), 4u);
    EXPECT_EQ(std::string(field.data(), 8), std::string("aa\x82\xA0\0###", 8));
    EXPECT_EQ(ReadField(field), Sj(u8"aaあ"));

    // Never past the field, whatever limit is asked for.
    std::array<char, 4> small{};
    EXPECT_EQ(StoreField(small, Cp932String::FromBytes("abcdef"), 100), 3u);
    small[3] = 'd';  // no NUL left: the text ends with the field
    EXPECT_EQ(ReadField(small).bytes(), "abcd");
}

TEST(Cp932Convert, RoundTripsJapaneseNamesAndReportsWhatCannotBeConverted) {
    const auto cp932 = Cp932String::FromBytes("\x8E\xF3\x90\x4D/\x95\xF1\x8D\x90\x8F\x91.csv");
    EXPECT_EQ(FromUtf8("受信/報告書.csv"), cp932);
    EXPECT_EQ(ToUtf8(cp932), "受信/報告書.csv");

    // Nothing is mangled instead.
    EXPECT_FALSE(ToUtf8(Cp932String::FromBytes("abc\x82")));  // lone lead byte
    EXPECT_FALSE(FromUtf8("snow \xE2\x98\x83 man"));          // U+2603 has no cp932 form
    EXPECT_FALSE(FromUtf8("\xC3("));                          // not UTF-8
    // Look-alikes are no conversion: a yen sign is not the backslash 0x5C,
    // a wave dash (U+301C) not the fullwidth tilde 0x8160.
    EXPECT_FALSE(FromUtf8("C:\xC2\xA5In"));
    EXPECT_FALSE(FromUtf8("\xE3\x80\x9C"));
    EXPECT_EQ(ToUtf8ForDisplay(Cp932String::FromBytes("a\x82")), "a?");
    // A window system's text: what has no form (an emoji, a lone surrogate) is left out.
    EXPECT_EQ(FromUtf16DroppingUnmapped(u"受信\U0001F600/\xD800報告書.csv"), cp932);
}

}  // namespace
}  // namespace molvar::text
