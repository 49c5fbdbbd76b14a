#include "stylemaker/style/PreviewPage.h"

#include "common/FileOps.h"
#include "common/Publisher.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using testutil::J;
using testutil::TempDir;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

std::string Anchor(const char* utf8) {
    return "<a href=\"" + std::string(Publisher::kHomePageUrl) + "\" target=\"_blank\">" + J(utf8) + "</a>";
}

TEST(PreviewPageTest, RowsSamplesAndFillers) {
    struct Case {
        int cols, rowRest, rows;
        int expectedRows, samples, fillers;
    };
    const Case cases[] = {
        {1, 0, 6, 20, 20, 0}, // new document
        {3, 0, 6, 7, 20, 1},  // last row: samples 18, 19 and a filler
        {6, 1, 2, 2, 12, 0},  // the row limit
        {4, 1, 0, 1, 0, 4},   // no samples: one row of fillers
        {5, 1, 9, 4, 20, 0},  // the limit allows more than there are samples
        {4, 1, -3, 1, 0, 4},  // a negative limit shows no samples
        {1, 1, 2000000000, 20, 20, 0},
        {0, 0, 6, 20, 20, 0}, // below one column: one
        {-7, 1, 3, 3, 3, 0},
        {9, 0, 6, 4, 20, 4}, // above six columns: six
    };
    for (const Case& c : cases) {
        CStyleSettings s;
        s.nCols = c.cols;
        s.bRowRest = c.rowRest;
        s.nRows = c.rows;
        const std::string page = vessilo::BuildPreviewPage(s, "p.css");
        SCOPED_TRACE(std::to_string(c.cols) + " columns, limit " + std::to_string(c.rowRest) + "/" +
                     std::to_string(c.rows));
        EXPECT_EQ(Count(page, "<tr>"), static_cast<std::size_t>(c.expectedRows));
        EXPECT_EQ(Count(page, "<td class=\"cssprev_data\">"), static_cast<std::size_t>(c.samples));
        EXPECT_EQ(Count(page, "<td><div"), static_cast<std::size_t>(c.fillers));
        EXPECT_EQ(Count(page, "</tr>"), static_cast<std::size_t>(c.expectedRows));
        EXPECT_EQ(vessilo::PreviewSampleCount(s), c.samples);
        EXPECT_EQ(Count(page, "colspan"), 0u);
    }
}

TEST(PreviewPageTest, SamplesCycleThroughTheThreeRows) {
    const std::string page = vessilo::BuildPreviewPage(CStyleSettings(), "p.css");
    EXPECT_EQ(Count(page, "<div class=\"cssprev_title\">" + J("広告名です") + "</div>"), 7u);
    EXPECT_EQ(Count(page, "<div class=\"cssprev_title\">" + J("これは広告名") + "</div>"), 7u);
    EXPECT_EQ(Count(page, "<div class=\"cssprev_title\">" + J("広告広告広告") + "</div>"), 6u);
    EXPECT_EQ(Count(page, "<div class=\"cssprev_comment\">" + J("これはコメント。") + "</div>"), 7u);
    EXPECT_EQ(Count(page, "<div class=\"cssprev_banner\">" +
                              Anchor("広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ") + "</div>"),
              6u);
    // Cell lines in layout order: name, comment, tag.
    EXPECT_NE(page.find("<td class=\"cssprev_data\"><div class=\"cssprev_adv\"><div class=\"cssprev_title\">" +
                        J("これは広告名") + "</div><div class=\"cssprev_comment\">" + J("これはコメント。") +
                        "</div><div class=\"cssprev_banner\">" + Anchor("これは広告タグ") + "</div></div></td>"),
              std::string::npos);
}

TEST(PreviewPageTest, WholePageWithLayoutAndCreditRow) {
    CStyleSettings s;
    s.nCols = 2;
    s.bRowRest = 1;
    s.nRows = 1;
    s.nAdv1 = 3;
    s.nAdv2 = 0;
    s.nAdv3 = 1;
    s.bUnUsePrLink = 0;
    const std::string cell0 = "<td class=\"cssprev_data\"><div class=\"cssprev_adv\"><div class=\"cssprev_banner\">" +
                              Anchor("広告タグです") + "</div><div class=\"cssprev_title\">" + J("広告名です") +
                              "</div></div></td>";
    const std::string cell1 = "<td class=\"cssprev_data\"><div class=\"cssprev_adv\"><div class=\"cssprev_banner\">" +
                              Anchor("これは広告タグ") + "</div><div class=\"cssprev_title\">" + J("これは広告名") +
                              "</div></div></td>";
    const std::string credit = "<tr><td colspan=\"2\"><div class=\"cssprev_copyright\"><a class=\"cssprev_copylink\" "
                               "target=\"_blank\" href=\"" +
                               std::string(Publisher::kHomePageUrl) + "\">" + std::string(Publisher::kCreditText) +
                               "</a></div></td></tr>";
    const std::string expected = "<html><head>\n"
                                 "<META HTTP-EQUIV=\"Content-Style-Type\" content=\"text/css\">\n"
                                 "<link rel=\"stylesheet\" type=\"text/css\" href=\"C:\\x\\a.css\">\n"
                                 "<title>" +
                                 J("Zelvor管理 CSS作成プレビュー") +
                                 "</title>\n"
                                 "</head><body>\n\n<body><table class=\"cssprev_frame\"><tr>" +
                                 cell0 + cell1 + "</tr>" + credit + "</table></body>\n\n</body></html>\n";
    EXPECT_EQ(vessilo::BuildPreviewPage(s, "C:\\x\\a.css"), expected);

    // Filler cells follow the same layout; the credit row spans the clamped columns.
    s.nCols = 4;
    s.nRows = 0;
    const std::string page = vessilo::BuildPreviewPage(s, "a.css");
    const std::string filler = "<td><div class=\"cssprev_adv\"><div class=\"cssprev_banner\">" + J("　") +
                               "</div><div class=\"cssprev_title\">" + J("　") + "</div></div></td>";
    EXPECT_NE(page.find("<tr>" + filler + filler + filler + filler + "</tr><tr><td colspan=\"4\">"), std::string::npos);
}

TEST(PreviewPageTest, OtherClassPrefixAndWrite) {
    CStyleSettings s;
    s.bUnUsePrLink = 0;
    const std::string page = vessilo::BuildPreviewPage(s, "a.css", "mine");
    EXPECT_EQ(Count(page, "cssprev"), 0u);
    EXPECT_EQ(Count(page, "<td class=\"mine_data\"><div class=\"mine_adv\">"), 20u);
    EXPECT_EQ(Count(page, "class=\"mine_copylink\""), 1u);

    TempDir dir;
    ASSERT_TRUE(vessilo::WritePreviewPage(s, dir / "p.html", "a.css"));
    std::string bytes;
    ASSERT_TRUE(FileOps::ReadWholeFile(dir / "p.html", bytes));
    EXPECT_EQ(bytes, vessilo::BuildPreviewPage(s, "a.css"));
    EXPECT_FALSE(vessilo::WritePreviewPage(s, dir / "missing/p.html", "a.css"));
}

} // namespace
