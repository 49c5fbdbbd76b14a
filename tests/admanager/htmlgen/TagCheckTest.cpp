#include "admanager/htmlgen/TagCheck.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <set>

namespace {

using testutil::J;
using P = TagProblem;

struct Case {
    const char* name;
    std::string tag;
    std::set<TagProblem> expected;
};

// Tags shaped like what the ASPs hand out today and did years ago; addresses
// and ids are made up.
std::vector<Case> Cases() {
    return {
        {"a8 banner today",
         "<a href=\"https://px.a8.net/svt/ejp?a8mat=3T1ABC+1XYZ12+2ABC+6D4LD\" rel=\"nofollow\">\r\n"
         "<img border=\"0\" width=\"300\" height=\"250\" alt=\"\" "
         "src=\"https://www20.a8.net/svt/bgt?aid=231201234567&wid=001&eno=01&mid=s00000012345001012000&mc=1\"></a>\r\n"
         "<img border=\"0\" width=\"1\" height=\"1\" src=\"https://www11.a8.net/0.gif?a8mat=3T1ABC+1XYZ12+2ABC+6D4LD\" "
         "alt=\"\">",
         {}},
        {"a8 banner from the http days",
         "<a href=\"http://px.a8.net/svt/ejp?a8mat=1ABCDE+2FGHIJ+3KL+4MNOPQ\" target=\"_blank\">\r\n"
         "<img border=\"0\" width=\"468\" height=\"60\" alt=\"\" "
         "src=\"http://www28.a8.net/svt/bgt?aid=090101000001&wid=002&eno=01&mid=s0000000000100&mc=1\"></a>\r\n"
         "<img border=\"0\" width=\"1\" height=\"1\" src=\"http://www12.a8.net/0.gif?a8mat=1ABCDE+2FGHIJ\" alt=\"\">",
         {P::InsecureResource, P::LinkWithoutRel}},
        {"a8 text link",
         J("<a href=\"https://px.a8.net/svt/ejp?a8mat=3T1ABC\" rel=\"nofollow\">お得なプランはこちら</a>"),
         {}},
        {"moshimo banner",
         "<a href=\"//af.moshimo.com/af/c/click?a_id=1234567&p_id=54&pc_id=54&pl_id=616\" rel=\"nofollow\" "
         "referrerpolicy=\"no-referrer-when-downgrade\"><img src=\"//image.moshimo.com/af-img/0032/000000000616.jpg\" "
         "width=\"300\" height=\"250\" style=\"border:none;\"></a><img "
         "src=\"//i.moshimo.com/af/i/impression?a_id=1234567&p_id=54&pc_id=54&pl_id=616\" width=\"1\" height=\"1\" "
         "style=\"border:none;\">",
         {P::ImageWithoutAlt}},
        {"moshimo easy link script",
         J("<!-- START MoshimoAffiliateEasyLink -->\r\n<script type=\"text/javascript\">\r\n"
           "(function(b,c,f,g,a,d,e){b.MoshimoAffiliateObject=a;b[a]=b[a]||function(){arguments.currentScript="
           "c.currentScript||c.scripts[c.scripts.length-2];(b[a].q=b[a].q||[]).push(arguments)};"
           "c.getElementById(a)||(d=c.createElement(f),d.src=g,d.id=a,e=c.getElementsByTagName(\"body\")[0],"
           "e.appendChild(d))})(window,document,\"script\",\"//dn.msmstatic.com/site/cardlink/bundle.js\","
           "\"msmaflink\");\r\nmsmaflink({\"n\":\"テスト商品\",\"u\":{\"u\":\"https:\\/\\/www.amazon.co.jp\\/dp\\/"
           "B0\"},"
           "\"eid\":\"AbCdE\"});\r\n</script>\r\n<div id=\"msmaflink-AbCdE\">リンク</div>\r\n"
           "<!-- MoshimoAffiliateEasyLink END -->"),
         {}},
        {"valuecommerce script banner",
         "<script language=\"javascript\" "
         "src=\"//ad.jp.ap.valuecommerce.com/servlet/jsbanner?sid=3000000&pid=880000000\"></script><noscript><a "
         "href=\"//ck.jp.ap.valuecommerce.com/servlet/referral?sid=3000000&pid=880000000\" rel=\"nofollow\"><img "
         "src=\"//ad.jp.ap.valuecommerce.com/servlet/gifbanner?sid=3000000&pid=880000000\" height=\"1\" width=\"1\" "
         "border=\"0\" alt=\"\"></a></noscript>",
         {}},
        {"valuecommerce inline document.write",
         "<script type=\"text/javascript\">document.write('<a "
         "href=\"https://ck.jp.ap.valuecommerce.com/servlet/referral?sid=3000000&pid=880000000\" rel=\"nofollow\">"
         "<img src=\"https://ad.jp.ap.valuecommerce.com/servlet/gifbanner?sid=3000000&pid=880000000\" width=\"120\" "
         "height=\"60\" alt=\"\"></a>');</script>",
         {P::DocumentWrite}},
        {"http script and frame",
         "<script src=\"http://ad.example.jp/ad.js\"></script><iframe "
         "src=\"HTTP://rcm.example.jp/e/cm?t=x\" width=\"120\" height=\"240\"></iframe>",
         {P::InsecureResource}},
        {"http only in srcset",
         "<img src=\"https://x.jp/a.png\" srcset=\"http://x.jp/a2.png 2x\" alt=\"\" width=\"1\" height=\"1\">",
         {P::InsecureResource}},
        {"http link alone is no resource",
         "<a href=\"http://shop.example.jp/\" rel=\"sponsored noopener\">shop</a>",
         {}},
        {"rel without the affiliate words", "<a href=\"https://x.jp/\" rel=\"noopener\">x</a>", {P::LinkWithoutRel}},
        {"image without size", "<img src=\"https://x.jp/b.gif\" alt=\"banner\" width=\"88\">", {P::ImageWithoutSize}},
        {"link never closed",
         "<a href=\"https://px.a8.net/x\" rel=\"nofollow\"><img src=\"https://x/b.gif\" width=\"1\" height=\"1\" "
         "alt=\"\">",
         {P::UnclosedElement}},
        {"div never closed", J("<div class=\"box\"><span>広告</span>"), {P::UnclosedElement}},
        {"one end tag too many", "<div>text</div></div>", {P::StrayEndTag}},
        {"stray end tag inside text", J("広告</span>です"), {P::StrayEndTag}},
        {"misnested", "<b><i>x</b></i>", {P::UnclosedElement, P::StrayEndTag}},
        {"quote never closed", J("<span>PR</span><a href=\"https://x.jp/>テキスト</a>"), {P::BrokenTag}},
        {"paragraphs and breaks close themselves", J("<p>一行目<br>二行目<br />\r\n<p>次"), {}},
        {"script text holding end tags", "<script>var s = '</div></span>';</script>", {}},
        {"comment holding tags", "<!-- <a href=\"http://old\"> --><span>x</span>", {}},
        {"bytes that are no CP932", J("広告") + "\xFD" + "<span>x</span>", {P::NotCp932}},
        {"reference for a character CP932 lacks, inside a script",
         "<script>msmaflink({\"n\":\"Gift &#x1F381; set\"});</script><span>&#x1F381;</span>",
         {P::NotCp932}},
        {"double-byte text with trail bytes like markup", J("表示ソフト能力"), {}},
        {"empty", "", {}},
    };
}

TEST(TagCheckTest, FindingsOfRealWorldTags) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::set<TagProblem> found;
        for (const TagFinding& f : CheckTag(c.tag))
            found.insert(f.problem);
        EXPECT_EQ(found, c.expected) << DescribeFindings(CheckTag(c.tag));
    }
}

TEST(TagCheckTest, SeverityAndDetail) {
    const std::string write = "<script>document.write('<b>x</b>');</script>";
    EXPECT_FALSE(HasError(CheckTag(write)));
    EXPECT_TRUE(HasError(CheckTag(write, {.randomMode = true})));

    std::vector<TagFinding> f = CheckTag("<img src=\" http://a.jp/x.gif \" alt=\"\" width=\"1\" height=\"1\">");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].severity, TagSeverity::Error);
    EXPECT_EQ(f[0].detail, "http://a.jp/x.gif");
    EXPECT_EQ(DescribeFindings(f), "エラー: http:// の読み込み (HTTPSのページではブロックされます): http://a.jp/x.gif");

    // Japanese in an address or alt text reads as it is written, quoted or not.
    const struct {
        std::string tag, detail;
    } japanese[] = {
        {J("<a href=\" https://例え.jp/商品?q=テスト \">x</a>"), "https://例え.jp/商品?q=テスト"},
        {J("<a href='https://例え.jp/カテゴリ'>x</a>"), "https://例え.jp/カテゴリ"},
        {J("<img src=画像.gif alt=\"\" width=1 height=1>"), ""},
        {J("<img src=http://例え.jp/画像.gif alt=\"\" width=1 height=1>"), "http://例え.jp/画像.gif"},
    };
    for (const auto& c : japanese) {
        f = CheckTag(c.tag);
        if (c.detail.empty()) {
            EXPECT_TRUE(f.empty()) << DescribeFindings(f);
            continue;
        }
        ASSERT_EQ(f.size(), 1u) << DescribeFindings(f);
        EXPECT_EQ(f[0].detail, c.detail);
    }

    f = CheckTag("<div><a href=\"https://a\" rel=nofollow>x");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].detail, "<div>");
    EXPECT_EQ(f[1].detail, "<a>");
}

TEST(TagCheckTest, LibraryReportFollowsTheTree) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    LibraryNode& folder = *lib.root.children.emplace_back(std::make_unique<LibraryNode>());
    folder.flags = NODE_FOLDER;
    folder.title = "F";
    LibraryNode& item = *folder.children.emplace_back(std::make_unique<LibraryNode>());
    item.title = "I";
    item.rowLimit = 1; // random rotation
    AppendBanner(item).tag = "<script>document.write('x')</script>";
    AppendBanner(item).live = 0;
    AppendBanner(item).tag = "<b>ok</b>";

    std::vector<BannerCheck> checks = CheckLibraryTags(lib.root);
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].itemPath, "F/I");
    EXPECT_TRUE(HasError(checks[0].findings)); // random mode makes document.write an error
    EXPECT_EQ(checks[1].index, 1);
    EXPECT_TRUE(checks[1].findings.empty());
}

TEST(RewriteTagForOutputTest, AddsOnlyWhatIsMissing) {
    struct Rewrite {
        std::string in, out;
    };
    const Rewrite cases[] = {
        {"<a href=\"https://x\"><img src=\"b.gif\"></a>",
         "<a rel=\"sponsored\" href=\"https://x\"><img loading=\"lazy\" src=\"b.gif\"></a>"},
        {"<A HREF=x>y</A><IMG\r\nSRC=b>", "<A rel=\"sponsored\" HREF=x>y</A><IMG loading=\"lazy\"\r\nSRC=b>"},
        {"<a href=x rel=nofollow>y</a><img src=b loading=eager>",
         "<a href=x rel=nofollow>y</a><img src=b loading=eager>"},
        {"<a name=top>no link</a>", "<a name=top>no link</a>"},
        // Markup a script writes is the script's business.
        {"<script>document.write('<a href=x><img src=b>')</script>",
         "<script>document.write('<a href=x><img src=b>')</script>"},
        {J("<a href=x>表示</a>"), J("<a rel=\"sponsored\" href=x>表示</a>")},
        // The parser reopens <a> after </p> and <b> after </div>: still one attribute each.
        {"<p><a href=\"u\">x</p>y", "<p><a rel=\"sponsored\" href=\"u\">x</p>y"},
        {"<div><b><a href=u><img src=i></div><i>z</i>",
         "<div><b><a rel=\"sponsored\" href=u><img loading=\"lazy\" src=i></div><i>z</i>"},
    };
    for (const Rewrite& c : cases)
        EXPECT_EQ(RewriteTagForOutput(c.in, true, true), c.out);
    EXPECT_EQ(RewriteTagForOutput("<a href=x><img src=b></a>", true, false),
              "<a rel=\"sponsored\" href=x><img src=b></a>");
    EXPECT_EQ(RewriteTagForOutput("<a href=x><img src=b></a>", false, false), "<a href=x><img src=b></a>");
}

} // namespace
