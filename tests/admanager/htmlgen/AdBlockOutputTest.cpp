#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/htmlgen/PageWriter.h"
#include "common/FileOps.h"

#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace {

using testutil::J;
using testutil::TempDir;

std::string Read(const std::string& path) {
    std::string text;
    EXPECT_TRUE(FileOps::ReadWholeFile(path, text)) << path;
    return text;
}

AdBlockResult MultiPage(int pages) {
    AdBlockResult r;
    r.rowLimit = 1;
    r.multiPage = 1;
    r.pageCount = pages;
    r.succeeded = true;
    for (int k = 1; k <= pages; ++k)
        r.pages.push_back("page " + std::to_string(k));
    return r;
}

TEST(AdBlockOutputTest, NumberedNames) {
    struct Case {
        std::string path;
        int page;
        std::string numbered;
    };
    const Case cases[] = {
        {"/site/ad.html", 1, "/site/ad_001.html"},
        {"ad.html", 12, "ad_012.html"},
        {"/a.b/ad", 3, "/a.b/ad_003"},
        {"/a/arc.tar.gz", 1000, "/a/arc.tar_1000.gz"},
        {"/a/.htaccess", 2, "/a/_002.htaccess"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NumberedOutputPath(c.path, c.page), c.numbered);
}

TEST(AdBlockOutputTest, MultiPageWritesPageOneTwiceThenEveryPage) {
    TempDir dir;
    OutputReport report = WriteAdBlockOutput(MultiPage(3), dir / "ad.html");
    ASSERT_TRUE(report.Ok());
    const std::vector<std::string> names = {"ad.html", "ad_001.html", "ad_002.html", "ad_003.html"};
    ASSERT_EQ(report.written.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(report.written[i], dir / names[i]);
    EXPECT_EQ(Read(dir / "ad.html"), "page 1");
    EXPECT_EQ(Read(dir / "ad_001.html"), "page 1");
    EXPECT_EQ(Read(dir / "ad_003.html"), "page 3");
}

TEST(AdBlockOutputTest, SinglePageModesWriteOneFile) {
    TempDir dir;
    // The static table ignores the multi-page flag; the random script is one page.
    for (auto [rowLimit, multiPage] : {std::pair{0, 1}, std::pair{1, 0}}) {
        AdBlockResult r = MultiPage(1);
        r.rowLimit = rowLimit;
        r.multiPage = multiPage;
        OutputReport report = WriteAdBlockOutput(r, dir / "one.html");
        ASSERT_TRUE(report.Ok());
        EXPECT_EQ(report.written.size(), 1u);
    }
    EXPECT_FALSE(FileOps::FileExists(dir / "one_001.html"));
}

TEST(AdBlockOutputTest, FailuresNameTheFile) {
    TempDir dir;
    // Nothing to write.
    OutputReport none = WriteAdBlockOutput(MultiPage(0), dir / "x.html");
    EXPECT_EQ(none.error, OutputError::NoPages);
    EXPECT_FALSE(FileOps::FileExists(dir / "x.html"));

    // The output folder does not exist.
    OutputReport missing = WriteAdBlockOutput(MultiPage(2), dir / "no/ad.html");
    EXPECT_EQ(missing.error, OutputError::Open);
    EXPECT_EQ(missing.failedPath, dir / "no/ad.html");
    EXPECT_TRUE(missing.written.empty());

    // A numbered file that cannot be created ends the writing; earlier files stay.
    ASSERT_TRUE(FileOps::MakeDirRetry(dir / "ad_002.html"));
    OutputReport midway = WriteAdBlockOutput(MultiPage(3), dir / "ad.html");
    EXPECT_EQ(midway.error, OutputError::Open);
    EXPECT_EQ(midway.failedPath, dir / "ad_002.html");
    EXPECT_EQ(midway.written.size(), 2u);
    EXPECT_FALSE(FileOps::FileExists(dir / "ad_003.html"));
    EXPECT_STREQ(OutputErrorMessage(midway.error),
                 "ファイルを開けませんでした。\n■HTML出力先■の「ローカル」を確認してください。");
}

TEST(AdBlockOutputTest, ShortWriteIsReported) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    OutputReport report = WriteAdBlockOutput(MultiPage(1), "/dev/full");
    EXPECT_EQ(report.error, OutputError::Write);
    EXPECT_EQ(report.failedPath, "/dev/full");
    EXPECT_STREQ(OutputErrorMessage(report.error), "ファイルの出力に失敗しました。");
}

TEST(PageWriterTest, PreviewPage) {
    TempDir dir;
    const std::string head = "<html><head>\n<META HTTP-EQUIV=\"Content-Style-Type\" content=\"text/css\">\n";
    const std::string tail =
        J("<title>Zelvor管理 プレビューページ</title>\n") + "</head><body>\n\n<b>x</b>\n\n</body></html>\n";
    ASSERT_TRUE(WritePreviewPage("<b>x</b>", J("C:\\css\\表.css"), dir / "p.html"));
    EXPECT_EQ(Read(dir / "p.html"),
              head + "<link rel=\"stylesheet\" type=\"text/css\" href=\"" + J("C:\\css\\表.css") + "\">\n" + tail);
    ASSERT_TRUE(WritePreviewPage("<b>x</b>", "", dir / "p.html"));
    EXPECT_EQ(Read(dir / "p.html"), head + tail);
    EXPECT_FALSE(WritePreviewPage("x", "", dir / "missing/p.html"));
}

TEST(PageWriterTest, WorkPage) {
    TempDir dir;
    Banner banner;
    banner.name = J("広告");
    banner.tag = "<a href=\"x\">\r\nad</a>";
    ASSERT_TRUE(WriteWorkPage(dir / "w.html", &banner));
    EXPECT_EQ(Read(dir / "w.html"), "<html>\n<head>\n<title>" + J("広告") +
                                        "</title>\n</head>\n<body>\n<a href=\"x\">\r\nad</a>\n</body>\n</html>\n");
    EXPECT_FALSE(WriteWorkPage(dir / "w2.html", nullptr));
    EXPECT_FALSE(FileOps::FileExists(dir / "w2.html"));
    EXPECT_FALSE(WriteWorkPage(dir / "missing/w.html", &banner));
}

} // namespace
