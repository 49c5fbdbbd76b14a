#include "admanager/settings/PasswordScrambler.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using testutil::J;

TEST(PasswordScramblerTest, KeyIsFixedLettersAndDigits) {
    std::string key = ScrambleKey;
    ASSERT_EQ(key.size(), 255u);
    for (char c : key)
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
}

// Stored forms computed apart from this code (ISO-2022-JP and Base64 of a
// general-purpose library): files written by either must read the same.
TEST(PasswordScramblerTest, KnownStoredForms) {
    struct Case {
        const char* utf8;
        const char* stored;
    } cases[] = {
        {"", ""},
        {"a", "PU1YUHowVGFSOVdX"},
        {"abc", "PU1uYXpvVWFYOVdX"},
        {"password", "NDFEVVJ4V2IxTkdlMk5GWndOVFZqTm5lellVYUg5Mlk="},
        {"秘密pass", "PT13WTljWFRRTmpXamhEYU9KRWN1TldVNDlHVXp4bVUxdEVlTk5GZHdkVVZUTjNReklWYTU5MlI="},
        {"パスワード\r\n2行目", "PWdYUDQxalNuRlhVMzgyTXpaalE0Z2xXTmRrVUhaRmNQdDBRRkpsWTVGMFJObFhWdlYzWlRGMVl2ZDNjUUpsV1"
                              "RoRGJPZEhjVU5XUzRaSFVXeDJVMTlFZXNOVlJ3WlZWS04zUXpJVmE1OTJS"},
        {"x=y", "PU1YTnpFVGFFOVda"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScramblePassword(J(c.utf8)), c.stored) << c.utf8;
        EXPECT_EQ(UnscramblePassword(c.stored), J(c.utf8)) << c.utf8;
    }
}

TEST(PasswordScramblerTest, StoredLengths) {
    struct Case {
        std::size_t plain;
        std::size_t stored;
    } cases[] = {{1, 16}, {2, 16}, {3, 16}, {6, 32}, {8, 44}, {16, 88}, {32, 160}, {51, 248}, {105, 504}};
    for (const auto& c : cases)
        EXPECT_EQ(ScramblePassword(std::string(c.plain, 'k')).size(), c.stored) << c.plain;
}

TEST(PasswordScramblerTest, RoundTrips) {
    std::string everyByte; // all but NUL, in one password
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::string cases[] = {
        "",
        "p@ss w0rd!~",
        J("漢字かなカナＡＢＣ"),
        J("mixed漢字and ascii全角"),
        J("line\r\nbreak\r\n"),
        "a=b==",
        "\x1B$Bnot an escape\x1B(B",
        "lone\rcr and lone\nlf\r",
        J("ｶﾀｶﾅ半角"),             // half-width katakana
        "\xFA\x40\xFB\xFC\xF0\x9F", // IBM extensions and user-defined codes
        J("①Ⅻ髙﨑"),
        "\x81",         // a lead byte with nothing after it
        "\x82\x0A\x83", // a lead byte before a line feed
        std::string(255, 'z'),
        everyByte.substr(0, 255),
        everyByte.substr(100),
    };
    for (const auto& p : cases) {
        std::string stored = ScramblePassword(p);
        EXPECT_EQ(UnscramblePassword(stored), p) << testing::PrintToString(p);
        EXPECT_EQ(stored.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(stored.size() % 4, 0u);
        EXPECT_EQ(ScramblePassword(p), stored); // no salt
    }
}

TEST(PasswordScramblerTest, LongestPasswordsFitTheReadCapacity) {
    // Alternating kanji and line breaks give the longest 7-bit form per byte.
    std::string worst;
    while (worst.size() + 3 <= 255)
        worst += J("あ") + "\n";
    std::string stored = ScramblePassword(worst);
    EXPECT_LT(stored.size(), 8191u);
    EXPECT_EQ(UnscramblePassword(stored), worst);
}

TEST(PasswordScramblerTest, MalformedStoredFormsGiveSomeText) {
    for (const char* stored : {"!!!!", "A", "====", "PU1YUHowVGFSOVd", "\xFF\xFE", "PU1YUHow VGFSOVdX"})
        UnscramblePassword(stored); // must neither crash nor read out of bounds
    EXPECT_EQ(UnscramblePassword(""), "");
}

TEST(PasswordScramblerTest, JisStepMatchesIso2022Jp) {
    using namespace ScrambleSteps;
    EXPECT_EQ(JisEncode(J("aあいb")), "a\x1B$B\x24\x22\x24\x24\x1B(Bb");
    EXPECT_EQ(JisEncode(J("亜\r\n")), "\x1B$B\x30\x21\x1B(B\n");
    // Forms written elsewhere: ESC $ @ and ESC ( J switch too; a bare LF is a line break.
    EXPECT_EQ(JisDecode("\n\x1B$@\x30\x21\x1B(Jz"), J("\r\n亜z"));
    EXPECT_EQ(Base64Decode("YQ"), "a");
    EXPECT_EQ(Base64Decode("YWJj!!!!"), "abc");
}

} // namespace
