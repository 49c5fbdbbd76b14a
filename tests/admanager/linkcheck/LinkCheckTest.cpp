#include "admanager/linkcheck/LinkCheck.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sys/stat.h>

namespace {

using testutil::J;
using P = TagProblem;
using O = UrlResult::Outcome;

TEST(UrlsOfTag, EveryAddressABrowserUsesInTagOrder) {
    struct Case {
        const char* name;
        std::string tag;
        std::vector<std::pair<std::string, TagUrlKind>> expected;
    };
    const Case cases[] = {
        {"banner with tracking pixel",
         "<a href=\"https://px.example.jp/c?a=1&amp;b=2\"><img src=\" https://img.example.jp/b.gif \" width=\"468\" "
         "height=\"60\"></a><img src=\"https://t.example.jp/0.gif\" width=1 height=1>",
         {{"https://px.example.jp/c?a=1&b=2", TagUrlKind::Link},
          {"https://img.example.jp/b.gif", TagUrlKind::Image},
          {"https://t.example.jp/0.gif", TagUrlKind::Image}}},
        {"srcset candidates, commas in the address kept",
         "<img src=\"a.png\" srcset=\"https://i.example.jp/a,1x.png 1x, https://i.example.jp/a2.png 2x,"
         "https://i.example.jp/a3.png\">",
         {{"a.png", TagUrlKind::Image},
          {"https://i.example.jp/a,1x.png", TagUrlKind::Image},
          {"https://i.example.jp/a2.png", TagUrlKind::Image},
          {"https://i.example.jp/a3.png", TagUrlKind::Image}}},
        {"script, frame and media",
         "<script src=\"https://s.example.jp/ad.js\"></script><iframe src=\"https://f.example.jp/\"></iframe>"
         "<video><source src=\"https://m.example.jp/v.mp4\"></video><picture><source "
         "srcset=\"https://m.example.jp/p.webp\"></picture>",
         {{"https://s.example.jp/ad.js", TagUrlKind::Script},
          {"https://f.example.jp/", TagUrlKind::Frame},
          {"https://m.example.jp/v.mp4", TagUrlKind::Media},
          {"https://m.example.jp/p.webp", TagUrlKind::Image}}},
        // The parser reopens <a> after the misnested </p>: the link is still one address.
        {"reconstructed element counted once",
         "<p><a href=\"https://x.example.jp/\">x</p>y</a>",
         {{"https://x.example.jp/", TagUrlKind::Link}}},
        {"Japanese in the address read from CP932", J("<a href=\"https://x.example.jp/検索?q=1&amp;r=2\">x</a>"),
         {{"https://x.example.jp/検索?q=1&r=2", TagUrlKind::Link}}},
        {"empty and missing addresses", "<a>x</a><a href=\" \">y</a><img alt=\"\">", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, TagUrlKind>> got;
        for (const TagUrl& u : UrlsOfTag(c.tag))
            got.emplace_back(u.url, u.kind);
        EXPECT_EQ(got, c.expected) << c.name;
    }
    const std::vector<TagUrl> sized = UrlsOfTag("<img src=\"https://i.example.jp/a.png\" width=\"468\" height=\"60%\">");
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].width, 468);
    EXPECT_EQ(sized[0].height, 0) << "a percentage is no pixel size";
}

TEST(FetchableUrl, OnlyHttpAndHttpsAreFetched) {
    const std::pair<std::string, std::string> cases[] = {
        {"https://a.example.jp/x", "https://a.example.jp/x"},
        {"HTTP://a.example.jp/x", "HTTP://a.example.jp/x"},
        {"//a.example.jp/x", "https://a.example.jp/x"},
        {"/x.html", ""},
        {"x.html", ""},
        {"javascript:void(0)", ""},
        {"mailto:a@example.jp", ""},
        {"data:image/gif;base64,R0lG", ""},
        {"https://a.example.jp/検 索", "https://a.example.jp/%E6%A4%9C%20%E7%B4%A2"},
        // The host is left for libcurl's own conversion; a wrapped address is joined.
        {"https://日本語.jp/広告?a=1", "https://日本語.jp/%E5%BA%83%E5%91%8A?a=1"},
        {"https://日本語.jp", "https://日本語.jp"},
        {"https://a.example.jp/ad?\r\n\tid=1", "https://a.example.jp/ad?id=1"},
    };
    for (const auto& [written, expected] : cases)
        EXPECT_EQ(FetchableUrl(written), expected) << written;
}

// The rules that turn answers into findings, one answer at a time.
TEST(LinkFindings, AnswersBecomeFindings) {
    auto answered = [](int status, std::string finalUrl = "", int redirects = 0) {
        UrlResult r;
        r.outcome = O::Answered;
        r.status = status;
        r.finalUrl = std::move(finalUrl);
        r.redirects = redirects;
        return r;
    };
    auto image = [&](int w, int h, std::string type = "image/png") {
        UrlResult r = answered(200);
        r.imageWidth = w;
        r.imageHeight = h;
        r.contentType = std::move(type);
        return r;
    };
    auto failed = [](O outcome) {
        UrlResult r;
        r.outcome = outcome;
        return r;
    };
    UrlResult empty = image(0, 0);
    empty.emptyBody = true;
    UrlResult slow = answered(200);
    slow.slow = true;
    UrlResult twin = answered(200);
    twin.httpsAvailable = true;

    const std::string link = "<a href=\"http://ads.example.jp/c\">x</a>";
    const std::string img = "<img src=\"http://img.example.jp/b.png\" width=\"468\" height=\"60\">";
    struct Case {
        const char* name;
        std::string tag;
        UrlResult result;
        std::vector<std::pair<P, TagSeverity>> expected;
    };
    const Case cases[] = {
        {"fine link", link, answered(200), {}},
        {"404", link, answered(404), {{P::LinkDead, TagSeverity::Error}}},
        {"410", link, answered(410), {{P::LinkDead, TagSeverity::Error}}},
        {"503", link, answered(503), {{P::LinkDead, TagSeverity::Error}}},
        {"403 is not called dead", link, answered(403), {}},
        {"no such host", link, failed(O::NoSuchHost), {{P::LinkDead, TagSeverity::Error}}},
        {"refused", link, failed(O::Refused), {{P::LinkDead, TagSeverity::Error}}},
        {"timeout", link, failed(O::Timeout), {{P::LinkDead, TagSeverity::Error}}},
        {"certificate", link, failed(O::TlsFailure), {{P::TlsError, TagSeverity::Error}}},
        {"our proxy or trust store at fault", link, failed(O::LocalFailure), {{P::LinkNotChecked, TagSeverity::Info}}},
        {"dead image", img, answered(404), {{P::ImageDead, TagSeverity::Error}}},
        {"ends on another site's top", link, answered(200, "https://www.example.com/", 2),
         {{P::RedirectElsewhere, TagSeverity::Warning}}},
        {"another site, a real page", link, answered(200, "https://shop.example.com/item/1", 2), {}},
        {"same site's top", link, answered(200, "https://ads.example.jp/", 1), {}},
        {"image of the tag's size", img, image(468, 60), {}},
        {"image of another size", img, image(234, 60), {{P::ImageSizeMismatch, TagSeverity::Warning}}},
        {"1x1 where the tag says 468x60", img, image(1, 1, "image/gif"), {{P::ImageSizeMismatch, TagSeverity::Warning}}},
        {"HTML under an image address", img, image(0, 0, "text/html"), {{P::NotAnImage, TagSeverity::Error}}},
        {"empty image", img, empty, {{P::NotAnImage, TagSeverity::Error}}},
        {"image type stb cannot read", img, image(0, 0, "image/webp"), {}},
        {"slow", link, slow, {{P::Slow, TagSeverity::Info}}},
        {"https twin", link, twin, {{P::HttpsAvailable, TagSeverity::Info}}},
    };
    for (const Case& c : cases) {
        const std::vector<TagUrl> urls = UrlsOfTag(c.tag);
        ASSERT_EQ(urls.size(), 1u) << c.name;
        std::map<std::string, UrlResult> results{
            {ResultKey({FetchableUrl(urls[0].url), urls[0].kind == TagUrlKind::Image}), c.result}};
        std::vector<std::pair<P, TagSeverity>> got;
        for (const TagFinding& f : LinkFindings(urls, results)) {
            got.emplace_back(f.problem, f.severity);
            EXPECT_EQ(f.detail, urls[0].url) << c.name;
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
    // Unchecked and never-fetched addresses.
    const std::vector<TagUrl> mixed = UrlsOfTag("<a href=\"/rel\">a</a><a href=\"javascript:go()\">b</a>" + link);
    const std::vector<TagFinding> notes = LinkFindings(mixed, {});
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].problem, P::LinkNotChecked);
    EXPECT_EQ(notes[1].detail, "javascript:go()");
    EXPECT_FALSE(AnyLinkResult(mixed, {}));
}

TEST(LinkResultCache, KeepsResultsForTheirAgeAndSurvivesDamage) {
    testutil::TempDir dir;
    const std::string path = dir.path() + "/state/linkcheck.json";
    UrlResult r;
    r.outcome = O::Answered;
    r.status = 301;
    r.finalUrl = "https://a.example.jp/終了";
    r.imageWidth = 468;
    r.imageHeight = 60;
    r.slow = true;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    r.checkedAt = now;
    {
        LinkResultCache cache(path);
        cache.Put("image https://a.example.jp/x", r);
        UrlResult old = r;
        old.checkedAt = now - 8 * 24 * 3600;
        cache.Put("link https://old.example.jp/", old);
        ASSERT_TRUE(cache.Save());
    }
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    LinkResultCache cache(path);
    cache.Load();
    EXPECT_EQ(cache.All().count("link https://old.example.jp/"), 0u) << "answers older than a week are dropped";
    const UrlResult* kept = cache.Find("image https://a.example.jp/x", now + 3599, std::chrono::hours(1));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->status, 301);
    EXPECT_EQ(kept->finalUrl, r.finalUrl);
    EXPECT_EQ(kept->imageWidth, 468);
    EXPECT_TRUE(kept->slow);
    EXPECT_EQ(cache.Find("image https://a.example.jp/x", now + 3600, std::chrono::hours(1)), nullptr);
    EXPECT_EQ(cache.Find("link https://a.example.jp/x", now, std::chrono::hours(1)), nullptr);

    for (const char* damaged : {"", "{", "[]", "{\"results\":[]}", "{\"results\":{\"k\":{\"status\":\"x\",\"checkedAt\":-5}}}",
                                "{\"results\":{\"k\":{\"status\":99999999999999999999,\"checkedAt\":1}}}"}) {
        std::ofstream(path, std::ios::trunc) << damaged;
        LinkResultCache again(path);
        again.Load();
        for (const auto& [key, result] : again.All())
            EXPECT_LE(result.status, 999) << damaged;
    }
}

TEST(FindingsCsv, QuotesWhatASpreadsheetWouldSplit) {
    LibraryNode item;
    Banner banner;
    banner.name = J("春, \"セール\"");
    BannerCheck check{J("旅行/サイド"), &item, &banner, 0, {}};
    check.findings.push_back({P::LinkDead, TagSeverity::Error, "https://a.example.jp/?a=1,2", 404, "", "HTTP 404"});
    check.findings.push_back({P::Slow, TagSeverity::Info, "https://b.example.jp/", 200, "", ""});
    const std::string csv = FindingsCsv({check}, TagSeverity::Warning);
    EXPECT_EQ(csv, "\xEF\xBB\xBF広告項目,No.,広告名,種類,内容,詳細,状態,転送先,結果,ID\r\n"
                   "旅行/サイド,1,\"春, \"\"セール\"\"\",エラー,リンク切れ,\"https://a.example.jp/?a=1,2\",404,,HTTP 404,"
                   "link-dead\r\n");
}

} // namespace
