#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/settings/AppSettings.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using testutil::J;

// Banners named B0, B1, ... with comment Ci and tag Ti.
struct Banners {
    std::vector<std::unique_ptr<Banner>> owned;
    std::vector<const Banner*> list;

    explicit Banners(int count) {
        for (int i = 0; i < count; ++i) {
            auto b = std::make_unique<Banner>();
            b->name = "B" + std::to_string(i);
            b->comment = "C" + std::to_string(i);
            b->tag = "T" + std::to_string(i);
            list.push_back(b.get());
            owned.push_back(std::move(b));
        }
    }
};

AdBlockOptions Options(int columns, int rowLimit, int rows, int multiPage,
                       std::initializer_list<int> layout = {1, 2, 3}) {
    AdBlockOptions o;
    o.columns = columns;
    o.rowLimit = rowLimit;
    o.rows = rows;
    o.multiPage = multiPage;
    o.tagClass = "ad";
    int s = 0;
    for (int code : layout)
        o.layout[s++] = code;
    return o;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

const std::string kSpace = "\x81\x40";
const std::string kFillerName = "<div class=\"ad_title\">" + kSpace + "</div>";
const std::string kFillerComment = "<div class=\"ad_comment\">" + kSpace + "</div>";
const std::string kFillerTag = "<div class=\"ad_banner\">" + kSpace + "</div>";

TEST(AdBlockGeneratorTest, StaticCellPiecesInSlotOrder) {
    Banners b(1);
    AdBlockResult r = GenerateAdBlock(Options(2, 0, 1, 0, {1, 0, 3}), b.list);
    ASSERT_TRUE(r.succeeded);
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pageCount, 1);
    EXPECT_EQ(r.pages[0], "<table class=\"ad_frame\"><tr>"
                          "<td class=\"ad_data\"><div class=\"ad_adv\"><div class=\"ad_title\">B0</div>"
                          "<div class=\"ad_banner\">T0</div></div></td>"
                          "<td><div class=\"ad_adv\">" +
                              kFillerName + kFillerTag +
                              "</div></td>"
                              "</tr></table>");
}

TEST(AdBlockGeneratorTest, LayoutSlotsRepeatAndSkipUnknownCodes) {
    struct Case {
        std::initializer_list<int> layout;
        std::string cell;
        std::string filler;
    };
    const Case cases[] = {
        {{3, 0, 1}, "<div class=\"ad_banner\">T0</div><div class=\"ad_title\">B0</div>", kFillerTag + kFillerName},
        {{2, 2, 7},
         "<div class=\"ad_comment\">C0</div><div class=\"ad_comment\">C0</div>",
         kFillerComment + kFillerComment},
        {{-1, 0, 4}, "", ""},
    };
    Banners b(1);
    for (const Case& c : cases) {
        std::string page = GenerateAdBlock(Options(2, 0, 1, 0, c.layout), b.list).pages.at(0);
        EXPECT_EQ(page, "<table class=\"ad_frame\"><tr><td class=\"ad_data\"><div class=\"ad_adv\">" + c.cell +
                            "</div></td><td><div class=\"ad_adv\">" + c.filler + "</div></td></tr></table>");
    }
}

TEST(AdBlockGeneratorTest, StaticPadsOnlyTheLastRow) {
    Banners b(7);
    std::string page = GenerateAdBlock(Options(3, 0, 1, 0), b.list).pages.at(0);
    EXPECT_EQ(Occurrences(page, "<tr>"), 3u);
    EXPECT_EQ(Occurrences(page, "<td><div"), 2u);
    for (int i = 0; i < 7; ++i)
        EXPECT_LT(page.find(">B" + std::to_string(i) + "<"), page.find(">B" + std::to_string(i + 1) + "<"));
    // The fillers come after the seventh banner, at the end of the last row.
    EXPECT_GT(page.find("<td><div"), page.rfind("T6"));
    EXPECT_EQ(page.substr(page.size() - 13), "</tr></table>");

    // An exact multiple needs no filler; an empty list is one row of fillers.
    Banners six(6);
    EXPECT_EQ(Occurrences(GenerateAdBlock(Options(3, 0, 1, 0), six.list).pages.at(0), "<td><div"), 0u);
    Banners none(0);
    std::string empty = GenerateAdBlock(Options(3, 0, 1, 0), none.list).pages.at(0);
    EXPECT_EQ(Occurrences(empty, "<tr>"), 1u);
    EXPECT_EQ(Occurrences(empty, "<td><div"), 3u);
}

TEST(AdBlockGeneratorTest, MultiPageBoundaries) {
    struct Case {
        int columns, rows, count;
        std::vector<int> rowsPerPage;
        int fillers; // on the last page
    };
    const Case cases[] = {
        {2, 2, 9, {2, 2, 1}, 1},                   // remainder: one banner and a filler on a short last page
        {2, 2, 8, {2, 2}, 0},                      // exact multiple
        {3, 5, 4, {2}, 2},                         // fewer banners than one page holds
        {1, 1, 3, {1, 1, 1}, 0}, {2, 3, 0, {}, 0}, // no banners: no pages, yet no failure
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        Banners b(c.count);
        AdBlockResult r = GenerateAdBlock(Options(c.columns, 1, c.rows, 1), b.list);
        ASSERT_TRUE(r.succeeded);
        ASSERT_EQ(r.pageCount, static_cast<int>(c.rowsPerPage.size()));
        ASSERT_EQ(r.pages.size(), c.rowsPerPage.size());
        for (std::size_t p = 0; p < r.pages.size(); ++p) {
            const std::string& page = r.pages[p];
            EXPECT_EQ(page.rfind("<table class=\"ad_frame\"><tr><td class=\"ad_data\">", 0), 0u);
            EXPECT_EQ(static_cast<int>(Occurrences(page, "<tr>")), c.rowsPerPage[p]);
            // Each page starts with the banner its position in the list gives.
            int first = static_cast<int>(p) * c.columns * c.rows;
            EXPECT_NE(page.find(">B" + std::to_string(first) + "<"), std::string::npos);
            bool last = p + 1 == r.pages.size();
            EXPECT_EQ(static_cast<int>(Occurrences(page, "<td><div")), last ? c.fillers : 0);
        }
    }
}

TEST(AdBlockGeneratorTest, RandomScriptBytes) {
    Banners b(1);
    b.owned[0]->name = "N\"1";
    AdBlockResult r = GenerateAdBlock(Options(2, 1, 3, 0, {1, 0, 0}), b.list);
    ASSERT_TRUE(r.succeeded);
    ASSERT_EQ(r.pages.size(), 1u);
    const std::string expected =
        "<script language=\"JavaScript\">var szTagId = \"ad\";var nCol = 2;var nRow = 3;var nData = 1;"
        "var szAdvNull = \"\";var szAdvlist = new Array(1);var nIdx = new Array(1);"
        "szAdvNull = \"<td class=\\\"\" + szTagId + \"_data\\\"><div class=\\\"\" + szTagId + \"_adv\\\">"
        "<div class=\\\"\" + szTagId + \"_title\\\">\x81\x40</div><div class=\\\"\" + szTagId + "
        "\"_comment\\\">\x81\x40</div><div class=\\\"\" + szTagId + \"_banner\\\">\x81\x40</div></div></td>\";"
        "szAdvlist[0] = \"<td class=\\\"ad_data\\\"><div class=\\\"ad_adv\\\"><div class=\\\"ad_title\\\">"
        "N\\\"1</div></div></td>\";"
        "nCount = nCol * nRow;if (nCount > nData) {nCount = nData;}for (i = 0; i < nData; i++) {nIdx[i] = i;}"
        "for (i = 0; i < nCount; i++) {nRand = Math.floor(Math.random() * nData);nSwp = nIdx[i];"
        "nIdx[i] = nIdx[nRand];nIdx[nRand] = nSwp;}i = 0;"
        "document.write(\"<table class=\\\"\" + szTagId + \"_frame\\\">\");for (;;) {document.write(\"<tr>\");"
        "for (k = 0; k < nCol; k++) {if (nCount > i) {document.write(szAdvlist[nIdx[i]]);} else {"
        "document.write(szAdvNull);}i++;}document.write(\"</tr>\");if (nCount <= i) {break;}}"
        "document.write(\"</table>\");</script><noscript></noscript>";
    EXPECT_EQ(r.pages[0], expected);
}

TEST(AdBlockGeneratorTest, EntryWithoutBannerFailsEveryMode) {
    Banners b(5);
    b.list[3] = nullptr;
    struct Case {
        int rowLimit, multiPage, pageCount;
    };
    for (const Case& c : {Case{0, 0, 1}, Case{1, 0, 1}, Case{1, 1, 3}}) {
        AdBlockResult r = GenerateAdBlock(Options(1, c.rowLimit, 2, c.multiPage), b.list);
        EXPECT_FALSE(r.succeeded);
        EXPECT_TRUE(r.pages.empty());
        EXPECT_EQ(r.pageCount, c.pageCount);
    }
}

TEST(AdBlockGeneratorTest, ColumnsBelowOneGiveOneEmptyPage) {
    Banners b(3);
    for (int rowLimit : {0, 1}) {
        AdBlockResult r = GenerateAdBlock(Options(0, rowLimit, 2, 1), b.list);
        EXPECT_TRUE(r.succeeded);
        ASSERT_EQ(r.pages.size(), 1u);
        EXPECT_EQ(r.pages[0], "");
    }
}

TEST(AdBlockGeneratorTest, HugeRowCountDoesNotOverflowThePageSize) {
    Banners b(3);
    AdBlockResult r = GenerateAdBlock(Options(6, 1, 0x7FFFFFFF, 1), b.list);
    ASSERT_TRUE(r.succeeded);
    EXPECT_EQ(r.pageCount, 1);
    EXPECT_EQ(Occurrences(r.pages.at(0), "<tr>"), 1u);
}

TEST(EscapeForScriptStringTest, Cases) {
    const std::string join = "\" + \"";
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\\b", "a\\\\b"},
        {"\"q\" 'r'", "\\\"q\\\" \\'r\\'"},
        {"x\r\ny", "x" + join + "y"},
        {"x\ry\nz", "x" + join + "y" + join + "z"},
        {"\r\r\n\n", join + join + join},
        {"</script>", "</" + join + "script>"},
        {"scripts", join + "scripts"},
        {"</SCRIPT> <Script", "</" + join + "SCRIPT> <" + join + "Script"},
        {"scrip", "scrip"},
        // Trail bytes 0x5C and letters belong to their character.
        {J("表ソ予") + "n", J("表ソ予") + "n"},
        {"\x95\x5c\\", "\x95\x5c\\\\"},
        {"\x82script", "\x82script"},
        // A stray lead byte would swallow the backslash put before a quote.
        {"\x81\"", "\x81" + join + "\\\""},
        {"a\x81", "a\x81"},
        {"\x81\r\n", "\x81" + join},
        {J("表") + "\r\n<script src=\"a\\b\">", J("表") + join + "<" + join + "script src=\\\"a\\\\b\\\">"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeForScriptString(c.in), c.out) << c.in;
}

TEST(AdBlockOptionsTest, FromItemReadsAsTheDialog) {
    LibraryNode item;
    item.columnIndex = 2;
    item.rowLimit = 5;
    item.rowCount = 0;
    item.multiPage = 3;
    item.tagClass = std::string(200, 'a') + J("あ") + std::string(60, 'b');
    item.layout[1] = 4;
    AdBlockOptions o = OptionsFromItem(item);
    EXPECT_EQ(o.columns, 3);
    EXPECT_EQ(o.rowLimit, 1);
    EXPECT_EQ(o.rows, 1);
    EXPECT_EQ(o.multiPage, 1);
    EXPECT_EQ(o.tagClass.size(), 254u);
    EXPECT_EQ(CheckAdBlockOptions(o), OptionProblem::NoLayout);

    struct Case {
        int columnIndex;
        std::string tagClass;
        int layout;
        OptionProblem problem;
    };
    const Case cases[] = {
        {0, "ad", 0, OptionProblem::None},      {5, "ad", 3, OptionProblem::None},
        {6, "ad", 1, OptionProblem::NoColumns}, {-1, "", 9, OptionProblem::NoColumns},
        {1, "", 9, OptionProblem::NoTagClass},  {1, "ad", -1, OptionProblem::NoLayout},
    };
    for (const Case& c : cases) {
        item.columnIndex = c.columnIndex;
        item.tagClass = c.tagClass;
        item.layout[0] = item.layout[1] = item.layout[2] = 1;
        item.layout[2] = c.layout;
        EXPECT_EQ(CheckAdBlockOptions(OptionsFromItem(item)), c.problem) << c.columnIndex << c.tagClass << c.layout;
    }
}

TEST(BannersInListOrderTest, SkipsDeletedBanners) {
    LibraryNode item;
    for (int i = 0; i < 3; ++i)
        AppendBanner(item).name = "n" + std::to_string(i);
    item.banners[1]->live = 0;
    std::vector<const Banner*> list = BannersInListOrder(item);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->name, "n0");
    EXPECT_EQ(list[1]->name, "n2");
}

// The label above every table (every page of a multi-page block) or at the top
// of every banner cell; fillers never carry it.
TEST(AdBlockGeneratorTest, LabelAboveOrInEveryCell) {
    Banners b(3);
    const std::string label = "<div class=\"ad_label\">" + J("広告") + "</div>";
    AdBlockOptions above = Options(2, 0, 1, 0);
    above.label = {true, J("広告"), LABEL_ABOVE};
    AdBlockOptions plain = Options(2, 0, 1, 0);
    EXPECT_EQ(GenerateAdBlock(above, b.list).pages.at(0), label + GenerateAdBlock(plain, b.list).pages.at(0));

    AdBlockOptions pages = Options(1, 1, 1, 1);
    pages.label = above.label;
    for (const std::string& page : GenerateAdBlock(pages, b.list).pages)
        EXPECT_TRUE(page.starts_with(label + "<table")) << page;

    AdBlockOptions inCell = Options(2, 0, 1, 0);
    inCell.label = {true, J("広告"), LABEL_IN_CELL};
    const std::string page = GenerateAdBlock(inCell, b.list).pages.at(0);
    EXPECT_EQ(Occurrences(page, "<div class=\"ad_adv\">" + label), 3u);
    EXPECT_EQ(Occurrences(page, label), 3u); // not in the filler cell
}

TEST(AdBlockGeneratorTest, LabelTextIsNotMarkup) {
    EXPECT_EQ(LabelElement("x", "<b>PR&\"" + J("ソ") + "</b>"),
              "<div class=\"x_label\">&lt;b&gt;PR&amp;&quot;" + J("ソ") + "&lt;/b&gt;</div>");
}

// The settings at their defaults ask for nothing, so nothing changes.
TEST(AdBlockGeneratorTest, DefaultSettingsLeaveEveryModeAsItWas) {
    Banners b(5);
    b.owned[1]->tag = "<a href=\"https://px.a8.net/x\"><img src=\"https://x/b.gif\"></a>";
    for (const AdBlockOptions& base : {Options(3, 0, 1, 0), Options(2, 1, 2, 0), Options(2, 1, 1, 1)}) {
        AdBlockOptions withSettings = base;
        ApplyOutputSettings(withSettings, AppSettings{});
        EXPECT_EQ(GenerateAdBlock(withSettings, b.list).pages, GenerateAdBlock(base, b.list).pages);
    }
}

TEST(AdBlockGeneratorTest, OutputRewritesTagsNotTheBanners) {
    Banners b(1);
    const std::string stored = "<a href=\"https://ad/\" target=\"_blank\"><img src=\"https://ad/b.gif\" alt=\"\"></a>";
    b.owned[0]->tag = stored;
    AdBlockOptions o = Options(1, 0, 1, 0, {3, 0, 0});
    o.sponsoredRel = true;
    o.lazyImages = true;
    EXPECT_EQ(GenerateAdBlock(o, b.list).pages.at(0),
              "<table class=\"ad_frame\"><tr><td class=\"ad_data\"><div class=\"ad_adv\"><div class=\"ad_banner\">"
              "<a rel=\"sponsored\" href=\"https://ad/\" target=\"_blank\"><img loading=\"lazy\" "
              "src=\"https://ad/b.gif\" alt=\"\"></a></div></div></td></tr></table>");
    EXPECT_EQ(b.owned[0]->tag, stored);
}

} // namespace
