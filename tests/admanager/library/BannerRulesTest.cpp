#include "admanager/library/BannerRules.h"

#include "TestUtil.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <random>

namespace {

using testutil::J;

TEST(BannerNumberValue, TakesLeadingDigitsOnly) {
    const struct {
        std::string text;
        std::int32_t value;
    } cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"  -7x", -7},
        {"+5", 5},
        {"1 2", 1},
        {J("１２"), 0}, // full-width digits are not digits
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {std::string(254, ' ') + "5", 0}, // only the first 254 bytes are read
        {std::string(253, ' ') + "5", 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BannerNumberValue(c.text), c.value) << c.text;
}

Banner Make(std::string asp, std::int32_t cpm, std::string name = "n") {
    Banner b;
    b.asp = std::move(asp);
    b.cpm = cpm;
    b.name = std::move(name);
    return b;
}

TEST(CompareBanners, TextsAsUnsignedBytesNumbersByGreaterOrEqual) {
    const struct {
        Banner a, b;
        int column, direction, result;
    } cases[] = {
        {Make("b", 0), Make("a", 0), COL_ASP, 1, 1},
        {Make("a", 0), Make("b", 0), COL_ASP, -1, 1},
        {Make("a", 0), Make("a", 0), COL_ASP, 1, 0},
        {Make("ab", 0), Make("a", 0), COL_ASP, 1, 1},      // the shorter text ends first
        {Make(J("あ"), 0), Make("z", 0), COL_ASP, 1, 1},   // lead byte 0x82 is above 'z'
        {Make("", 0, "B"), Make("", 0, "a"), COL_NAME, 1, -1}, // no case folding
        {Make("", 5), Make("", 5), COL_CPM, 1, 1},         // equal numbers are never equal
        {Make("", 5), Make("", 5), COL_CPM, -1, -1},
        {Make("", 4), Make("", 5), COL_CPM, 1, -1},
        {Make("", -1), Make("", 5), COL_CPM, -1, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareBanners(c.a, c.b, c.column, c.direction), c.result);
}

std::vector<std::int32_t> Cpms(const std::vector<Banner*>& rows) {
    std::vector<std::int32_t> out;
    for (const Banner* b : rows)
        out.push_back(b->cpm);
    return out;
}

TEST(SortBanners, OrdersByColumnAndDirection) {
    std::vector<Banner> banners = {Make("c", 30), Make("a", 10), Make("b", 20), Make("d", 10)};
    std::vector<Banner*> rows;
    for (Banner& b : banners)
        rows.push_back(&b);
    SortBanners(rows, COL_CPM, 1);
    EXPECT_EQ(Cpms(rows), (std::vector<std::int32_t>{10, 10, 20, 30}));
    SortBanners(rows, COL_CPM, -1);
    EXPECT_EQ(Cpms(rows), (std::vector<std::int32_t>{30, 20, 10, 10}));
    SortBanners(rows, COL_ASP, 1);
    EXPECT_EQ(rows[0]->asp + rows[1]->asp + rows[2]->asp + rows[3]->asp, "abcd");
    // The banners themselves are untouched.
    EXPECT_EQ(banners[0].asp, "c");
}

// The number rule is no strict ordering; the sort must still end with every row
// once and in order, whatever the input.
TEST(SortBanners, ManyEqualNumbersStayAPermutation) {
    std::mt19937 random(7);
    std::vector<Banner> banners(500);
    for (Banner& b : banners)
        b.cpm = static_cast<std::int32_t>(random() % 4);
    for (int direction : {1, -1}) {
        std::vector<Banner*> rows;
        for (Banner& b : banners)
            rows.push_back(&b);
        SortBanners(rows, COL_CPM, direction);
        std::vector<Banner*> sorted = rows;
        std::sort(sorted.begin(), sorted.end());
        std::vector<Banner*> all;
        for (Banner& b : banners)
            all.push_back(&b);
        EXPECT_EQ(sorted, all);
        for (std::size_t i = 1; i < rows.size(); ++i)
            EXPECT_TRUE(direction > 0 ? rows[i - 1]->cpm <= rows[i]->cpm : rows[i - 1]->cpm >= rows[i]->cpm);
    }
}

} // namespace
