#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace {

struct CutCase {
    const char* text;
    std::size_t max;
    std::size_t expected;
};

TEST(Cp932Test, CutNeverSplitsADoubleByteCharacter) {
    const CutCase cases[] = {
        {"abc", 2, 2},
        {"abc", 5, 3},
        {"\x82\xA0\x82\xA2", 3, 2},  // あい cut inside い
        {"a\x82\xA0", 2, 1},         // a + あ: あ would not fit
        {"\x95\x5C\x5C", 2, 2},      // 表 whose trail byte is a backslash
        {"\x95\x5C\x5C", 1, 0},
        {"ab\x81", 3, 3},            // a lead byte at the very end counts as one byte
        {"\xB1\xB2\xB3", 2, 2},      // half-width katakana are single bytes
        {"", 4, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp932::CutLength(c.text, c.max), c.expected) << c.text << " max " << c.max;
    }
}

TEST(Cp932Test, KeptStopsAtNulAndCuts) {
    EXPECT_EQ(Cp932::Kept(std::string("ab\0cd", 5), 10), "ab");
    EXPECT_EQ(Cp932::Kept("\x82\xA0\x82\xA2\x82\xA4", 5), "\x82\xA0\x82\xA2");
}

TEST(Cp932Test, RoundTripsJapaneseText) {
    const char* samples[] = {
        "Zelvor管理",
        "表示ソ予能",     // trail byte 0x5C
        "ｱｲｳｴｵ",        // half-width katakana
        "①Ⅱ㈱",          // NEC special characters
        "髙﨑",            // IBM extensions
        "ＡＢＣ　全角",
    };
    for (const char* s : samples) {
        std::string cp = Cp932::FromUtf8(s);
        EXPECT_NE(cp, s);
        EXPECT_EQ(Cp932::ToUtf8(cp), s);
    }
    EXPECT_EQ(Cp932::FromUtf8("新しいフォルダ"), "\x90\x56\x82\xB5\x82\xA2\x83\x74\x83\x48\x83\x8B\x83\x5F");
    EXPECT_EQ(Cp932::FromUtf8("　"), "\x81\x40");
}

TEST(Cp932Test, UnmappableAndBrokenBytes) {
    EXPECT_EQ(Cp932::FromUtf8("a😀b"), "a?b");
    EXPECT_EQ(Cp932::FromUtf8("한"), "?");
    EXPECT_EQ(Cp932::FromUtf8("a\xFF" "b"), "a?b");  // broken UTF-8
    EXPECT_EQ(Cp932::ToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Cp932::ToUtf8("\xA0x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Cp932::ToUtf8("\x82\xA0\x81\x20z"), "あ\xEF\xBF\xBD z");
}

} // namespace
