#include <gtest/gtest.h>

#include <array>

#include "res/strings.h"
#include "support/test_support.h"
#include "text/convert.h"
#include "text/cp932.h"

namespace molvar::text {
namespace {

using test::Sj;
using test::SjPath;

TEST(Cp932Cut, NeverLeavesALeadByteWithoutItsTrailByte) {
    const Cp932String kana = Sj(u8"あいう");  // three double-byte characters
    ASSERT_EQ(kana.size(), 6u);
    EXPECT_EQ(CutLength(kana.bytes(), 6), 6u);
    EXPECT_EQ(CutLength(kana.bytes(), 5), 4u);
    EXPECT_EQ(CutLength(kana.bytes(), 1), 0u);

    // Half-width katakana are single bytes (0xA1-0xDF), and a trail byte can
    // look like a backslash or a lead byte: only the walk from the start tells.
    const Cp932String mixed = Sj(u8"ｷｬﾝ表示a");  // 表 is 0x95 0x5C
    EXPECT_EQ(CutLength(mixed.bytes(), 4), 3u);
    EXPECT_EQ(CutLength(mixed.bytes(), 6), 5u);
    EXPECT_EQ(CutLength(mixed.bytes(), 100), mixed.size());

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
    EXPECT_EQ(small[3], '\0');
}

TEST(Cp932Field, ReadStopsAtTheFieldWidthWithoutNul) {
    const std::array<char, 4> full{'a', 'b', 'c', 'd'};
    EXPECT_EQ(ReadField(full).bytes(), "abcd");
}

TEST(Cp932Convert, RoundTripsJapaneseNames) {
    const std::string utf8 = "受信/報告書.csv";
    const auto cp932 = FromUtf8(utf8);
    ASSERT_TRUE(cp932);
    EXPECT_EQ(cp932->bytes(), "\x8E\xF3\x90\x4D/\x95\xF1\x8D\x90\x8F\x91.csv");
    EXPECT_EQ(ToUtf8(*cp932), utf8);
}

TEST(Cp932Convert, ReportsWhatCannotBeConvertedInsteadOfMangling) {
    EXPECT_FALSE(ToUtf8(Cp932String::FromBytes("abc\x82")));  // lone lead byte
    EXPECT_FALSE(FromUtf8("snow \xE2\x98\x83 man"));           // U+2603 has no cp932 form
    EXPECT_FALSE(FromUtf8("\xC3("));                           // not UTF-8
    // Look-alikes are no conversion: a yen sign is not the backslash 0x5C,
    // a wave dash (U+301C) not the fullwidth tilde 0x8160.
    EXPECT_FALSE(FromUtf8("C:\xC2\xA5In"));
    EXPECT_FALSE(FromUtf8("\xE3\x80\x9C"));
    EXPECT_EQ(ToUtf8ForDisplay(Cp932String::FromBytes("a\x82")), "a?");
}

TEST(BuiltInTexts, AreTheirCodePage932Bytes) {
    EXPECT_EQ(res::NowRunningSuffix().bytes(), "\x82\xF0\x8E\xC0\x8D\x73\x82\xB5\x82\xDC\x82\xB7\x81\x42");
    EXPECT_EQ(ToUtf8(res::WriteFileOpenError()), "書込みファイルオープンエラー");
}

}  // namespace
}  // namespace molvar::text
