#include "admanager/htmlgen/PreviewPages.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

using Page = TagPreviewDecision::Page;

TEST(DecideTagPreview, FollowsTheTable) {
    const struct {
        bool root, enabled, ticked;
        int preview;
        Page page;
        int previewAfter;
    } cases[] = {
        {true, false, true, 1, Page::TopPage, 1},     // root: the top page, setting untouched
        {true, false, false, 0, Page::TopPage, 0},
        {false, false, true, 1, Page::BlankPage, 1},  // nothing to edit keeps the remembered tick
        {false, false, false, 0, Page::BlankPage, 0},
        {false, true, false, 1, Page::BlankPage, 0},  // just cleared
        {false, true, false, 0, Page::Unchanged, 0},  // cleared earlier
        {false, true, true, 0, Page::WorkPage, 1},    // just ticked
        {false, true, true, 1, Page::WorkPage, 1},
    };
    for (const auto& c : cases) {
        TagPreviewDecision d = DecideTagPreview(c.root, c.enabled, c.ticked, c.preview);
        EXPECT_EQ(d.page, c.page) << c.root << c.enabled << c.ticked << c.preview;
        EXPECT_EQ(d.preview, c.previewAfter) << c.root << c.enabled << c.ticked << c.preview;
    }
}

TEST(PreviewPages, NamesAndVersionAddress) {
    EXPECT_EQ(PreviewPages::PagePath("/opt/zelvor/", PreviewPages::kWorkPage), "/opt/zelvor/html/workpage.html");
    EXPECT_EQ(PreviewPages::PagePath("/opt/zelvor/", PreviewPages::kBlankPage), "/opt/zelvor/html/null.html");
    std::string url = PreviewPages::VersionPageUrl();
    EXPECT_EQ(url.substr(url.find("/software/")),
              "/software/zova_af/version/version.php?ver1=1&ver2=0&ver3=0&a=0&b=0");
}

} // namespace

namespace {

// The shipped pages open in browsers of any locale: each says it is Shift_JIS in its head.
TEST(ShippedPages, DeclareTheirEncoding) {
    for (const char* page : {"help.html", "html/top.html", "html/null.html", "html/asp.html"}) {
        std::ifstream in(std::string(ZOVA_TEST_DATA_DIR) + "/../../resources/" + page, std::ios::binary);
        ASSERT_TRUE(in) << page;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t head = text.find("</head>");
        ASSERT_NE(head, std::string::npos) << page;
        EXPECT_NE(text.substr(0, head).find("charset=Shift_JIS"), std::string::npos) << page;
    }
}

} // namespace
