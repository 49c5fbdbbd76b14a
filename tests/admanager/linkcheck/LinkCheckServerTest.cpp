// The online link check against Debian's nginx, under real host names in a
// network namespace of the test's own (see NginxServer.h). Needs root.
#include "admanager/library/LibraryNode.h"
#include "admanager/linkcheck/LinkCheck.h"

#include "NginxServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

using testutil::AccessLine;
using testutil::NginxServer;

std::string g_skip;
std::unique_ptr<NginxServer> g_server;

// Entered before the first test: the process still has one thread then,
// and listing the tests (as CTest does, maybe not as root) never gets here.
class SandboxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_skip = testutil::EnterLinkCheckSandbox();
        if (g_skip.empty() && !NginxServer::Unpacked())
            g_skip = "nginx is not unpacked: run scripts/setup-servers";
        if (g_skip.empty())
            g_server = std::make_unique<NginxServer>();
    }
    void TearDown() override { g_server.reset(); }
};
[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

class LinkCheckServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
        ASSERT_TRUE(g_server && g_server->Ready()) << (g_server ? g_server->Failure() : std::string());
        m_mark = g_server->Mark();
    }
    void TearDown() override {
        if (HasFailure() && g_server)
            std::cout << g_server->LogTail();
    }

    NginxServer& Server() { return *g_server; }
    std::vector<AccessLine> Lines(std::size_t atLeast = 0) const { return g_server->LinesSince(m_mark, atLeast); }

    std::size_t m_mark = 0;
};

// Quick retries and no https:// probe, so each case sees only its own findings.
LinkCheckOptions Plain() {
    LinkCheckOptions options;
    options.retryPause = std::chrono::milliseconds(200);
    options.probeHttps = false;
    return options;
}

std::vector<UrlRequest> RequestsOf(const std::vector<TagUrl>& urls) {
    std::vector<UrlRequest> requests;
    for (const auto& u : urls)
        if (auto url = FetchableUrl(u.url); !url.empty())
            requests.push_back({url, u.kind == TagUrlKind::Image});
    return requests;
}

std::vector<const AccessLine*> Matching(const std::vector<AccessLine>& lines, const std::string& scheme,
                                        const std::string& host, const std::string& uri) {
    std::vector<const AccessLine*> found;
    for (const auto& line : lines)
        if (line.scheme == scheme && line.host == host && line.uri == uri)
            found.push_back(&line);
    return found;
}

// The most requests the server was busy with at once. Times are logged in
// milliseconds and a kept-alive connection's next request starts as the last
// one ends, so each is trimmed a little at both ends.
int MostAtOnce(const std::vector<AccessLine>& lines) {
    std::vector<std::pair<double, int>> events;
    for (const auto& line : lines) {
        events.push_back({line.start + 0.05, +1});
        events.push_back({line.end - 0.05, -1});
    }
    std::sort(events.begin(), events.end());
    int now = 0, most = 0;
    for (const auto& [at, step] : events)
        most = std::max(most, now += step);
    return most;
}

std::string Describe(const std::vector<TagFinding>& findings) {
    std::string text;
    for (const auto& f : findings)
        text += std::string(TagProblemId(f.problem)) + " " + std::to_string(f.status) + " " + f.finalUrl + " (" +
                f.note + ") " + f.detail + "\n";
    return text;
}

// --- What each kind of answer makes of a tag -------------------------------

constexpr int kAnyStatus = -1;
constexpr const char* kAnyUrl = nullptr;

struct Want {
    TagProblem problem;
    int status = kAnyStatus;
    const char* finalUrl = kAnyUrl;
    const char* noteHas = ""; // UTF-8
};

struct Case {
    const char* name;
    std::string tag; // "{silent}" stands for the port that accepts and never answers
    std::vector<Want> want;
    bool probeHttps = false;
    bool shortTimeouts = false;
    std::optional<UrlResult::Outcome> outcome = std::nullopt; // of the tag's first address
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {.name = "AnsweredPageAndImage",
     .tag = R"t(<a href="http://ads.example.test/page.html"><img src="http://img.example.test/468x60.png" width="468" height="60"></a>)t",
     .want = {}},
    {.name = "AnsweredOverHttps",
     .tag = R"t(<a href="https://ads.example.test/"><img src="https://img.example.test/300x250.gif" width="300" height="250"></a>)t",
     .want = {}},
    {.name = "ProtocolRelativeIsHttps",
     .tag = R"t(<img src="//img.example.test/httponly/120x90.gif" width="120" height="90">)t",
     .want = {{TagProblem::ImageDead, 404, "https://img.example.test/httponly/120x90.gif"}}},
    {.name = "LinkNotFound",
     .tag = R"t(<a href="http://ads.example.test/gone"><img src="http://img.example.test/468x60.png" width="468" height="60"></a>)t",
     .want = {{TagProblem::LinkDead, 404, "http://ads.example.test/gone"}},
     .outcome = UrlResult::Outcome::Answered},
    {.name = "LinkGone410",
     .tag = R"t(<a href="http://ads.example.test/removed">x</a>)t",
     .want = {{TagProblem::LinkDead, 410, "http://ads.example.test/removed"}}},
    {.name = "LinkServerError",
     .tag = R"t(<a href="https://ads.example.test/broken">x</a>)t",
     .want = {{TagProblem::LinkDead, 500, "https://ads.example.test/broken"}}},
    {.name = "ImageNotFound",
     .tag = R"t(<a href="http://ads.example.test/"><img src="http://img.example.test/missing.png" width="468" height="60"></a>)t",
     .want = {{TagProblem::ImageDead, 404, "http://img.example.test/missing.png"}}},
    {.name = "ImageServerError",
     .tag = R"t(<img src="http://img.example.test/broken.png" width="468" height="60">)t",
     .want = {{TagProblem::ImageDead, 500, "http://img.example.test/broken.png"}}},
    {.name = "NoSuchHost",
     .tag = R"t(<a href="http://nothing.invalid/">x</a>)t",
     .want = {{TagProblem::LinkDead, 0}},
     .outcome = UrlResult::Outcome::NoSuchHost},
    {.name = "ImageOnNoSuchHost",
     .tag = R"t(<img src="https://nothing.invalid/468x60.png" width="468" height="60">)t",
     .want = {{TagProblem::ImageDead, 0}},
     .outcome = UrlResult::Outcome::NoSuchHost},
    {.name = "ConnectionRefused",
     .tag = R"t(<a href="http://ads.example.test:81/">x</a>)t",
     .want = {{TagProblem::LinkDead, 0}},
     .outcome = UrlResult::Outcome::Refused},
    {.name = "NeverAnswers",
     .tag = R"t(<a href="http://ads.example.test:{silent}/">x</a>)t",
     .want = {{TagProblem::LinkDead, 0}},
     .shortTimeouts = true,
     .outcome = UrlResult::Outcome::Timeout},
    {.name = "SelfSignedCertificate",
     .tag = R"t(<a href="https://untrusted.example.test/">x</a>)t",
     .want = {{TagProblem::TlsError, 0}},
     .outcome = UrlResult::Outcome::TlsFailure},
    {.name = "CertificateForAnotherName",
     .tag = R"t(<img src="https://wrongname.example.test/468x60.png" width="468" height="60">)t",
     .want = {{TagProblem::TlsError, 0}},
     .outcome = UrlResult::Outcome::TlsFailure},
    {.name = "RedirectToAnotherSitesTopPage",
     .tag = R"t(<a href="http://ads.example.test/end">x</a>)t",
     .want = {{TagProblem::RedirectElsewhere, 200, "http://other.example.test/"}}},
    {.name = "RedirectToOwnTopPage",
     .tag = R"t(<a href="http://ads.example.test/home">x</a>)t",
     .want = {}},
    {.name = "RedirectToAnotherSitesPage",
     .tag = R"t(<a href="http://ads.example.test/away">x</a>)t",
     .want = {}},
    {.name = "RedirectChainToImage",
     .tag = R"t(<img src="http://img.example.test/r1" width="468" height="60">)t",
     .want = {}},
    {.name = "HtmlUnderImageAddress",
     .tag = R"t(<img src="http://img.example.test/page.html" width="468" height="60">)t",
     .want = {{TagProblem::NotAnImage, 200, "http://img.example.test/page.html"}}},
    {.name = "ImageAddressWithAnUnreadableType",
     .tag = R"t(<img src="http://img.example.test/odd-type" width="468" height="60">)t",
     .want = {{TagProblem::NotAnImage, 200, "http://img.example.test/odd-type", "invalid"}}},
    {.name = "EmptyImage",
     .tag = R"t(<img src="http://img.example.test/empty.gif" width="468" height="60">)t",
     .want = {{TagProblem::NotAnImage, 200, "http://img.example.test/empty.gif"}}},
    {.name = "ImageOfAnotherSize",
     .tag = R"t(<img src="http://img.example.test/300x250.gif" width="468" height="60">)t",
     .want = {{TagProblem::ImageSizeMismatch, 200, "http://img.example.test/300x250.gif", "300×250"}}},
    {.name = "PngOfAnotherSize",
     .tag = R"t(<img src="https://img.example.test/120x90.png" width="120" height="60">)t",
     .want = {{TagProblem::ImageSizeMismatch, 200, "https://img.example.test/120x90.png", "120×90"}}},
    {.name = "OnePixelUnderBannerSize",
     .tag = R"t(<a href="http://ads.example.test/"><img src="http://img.example.test/1x1.gif" width="468" height="60"></a>)t",
     .want = {{TagProblem::ImageSizeMismatch, 200, "http://img.example.test/1x1.gif", "1×1"}}},
    {.name = "OnePixelTracker",
     .tag = R"t(<img src="http://img.example.test/1x1.gif" width="1" height="1" alt="">)t",
     .want = {}},
    {.name = "NoSizeInTag",
     .tag = R"t(<img src="http://img.example.test/300x250.gif" alt="">)t",
     .want = {}},
    {.name = "HeadRefusedThenGet",
     .tag = R"t(<a href="http://ads.example.test/nohead.html">x</a>)t",
     .want = {}},
    {.name = "SlowAnswer",
     .tag = R"t(<a href="http://ads.example.test/slow">x</a>)t",
     .want = {{TagProblem::Slow, 200, "http://ads.example.test/slow"}}},
    {.name = "RelativeAndScriptAddresses",
     .tag = R"t(<a href="javascript:void(0)"><img src="/banner.png" width="468" height="60"></a>)t",
     .want = {{TagProblem::LinkNotChecked, 0}, {TagProblem::LinkNotChecked, 0}}},
    {.name = "HttpAlsoServedOverHttps",
     .tag = R"t(<a href="http://ads.example.test/page.html"><img src="http://img.example.test/468x60.png" width="468" height="60"></a>)t",
     .want = {{TagProblem::HttpsAvailable}, {TagProblem::HttpsAvailable}},
     .probeHttps = true},
    {.name = "HttpsThatSendsBackToHttp",
     .tag = R"t(<a href="http://ads.example.test/bounce.html">x</a>)t",
     .want = {},
     .probeHttps = true},
    {.name = "HttpOnlyImage",
     .tag = R"t(<img src="http://img.example.test/httponly/120x90.gif" width="120" height="90">)t",
     .want = {},
     .probeHttps = true},
    {.name = "DeadLinkIsNoHttpsCandidate",
     .tag = R"t(<a href="http://ads.example.test/gone">x</a>)t",
     .want = {{TagProblem::LinkDead, 404, "http://ads.example.test/gone"}},
     .probeHttps = true},
};

class LinkCheckCases : public LinkCheckServer, public ::testing::WithParamInterface<Case> {};

TEST_P(LinkCheckCases, FindingsMatch) {
    const Case& c = GetParam();
    testutil::SilentServer silent;
    std::string tag = c.tag;
    if (auto at = tag.find("{silent}"); at != std::string::npos)
        tag.replace(at, 8, std::to_string(silent.Port()));
    LinkCheckOptions options = Plain();
    options.probeHttps = c.probeHttps;
    if (c.shortTimeouts) {
        options.connectTimeout = std::chrono::milliseconds(1000);
        options.totalTimeout = std::chrono::milliseconds(2000);
    }
    const auto urls = UrlsOfTag(tag);
    const auto requests = RequestsOf(urls);
    const auto results = FetchUrls(requests, options);
    const auto findings = LinkFindings(urls, results);

    // Status and final address are compared where the case names them.
    auto show = [&](TagProblem problem, int status, const char* finalUrl) {
        const Want* w = nullptr;
        for (const auto& want : c.want)
            if (want.problem == problem)
                w = &want;
        return std::string(TagProblemId(problem)) + " " +
               (w && w->status == kAnyStatus ? "*" : std::to_string(status)) + " " +
               (w && !w->finalUrl ? "*" : finalUrl);
    };
    std::vector<std::string> expected, actual;
    for (const auto& w : c.want)
        expected.push_back(show(w.problem, w.status, w.finalUrl ? w.finalUrl : ""));
    for (const auto& f : findings)
        actual.push_back(show(f.problem, f.status, f.finalUrl.c_str()));
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected) << Describe(findings);

    for (const auto& f : findings) {
        for (const auto& w : c.want) {
            if (w.problem == f.problem) {
                EXPECT_NE(f.note.find(w.noteHas), std::string::npos) << Describe(findings);
            }
        }
        if (f.problem == TagProblem::LinkNotChecked || f.problem == TagProblem::HttpsAvailable) {
            EXPECT_EQ(f.severity, TagSeverity::Info) << Describe(findings);
        }
    }
    if (c.outcome) {
        ASSERT_FALSE(requests.empty());
        auto r = results.find(ResultKey(requests.front()));
        ASSERT_NE(r, results.end());
        EXPECT_EQ(static_cast<int>(r->second.outcome), static_cast<int>(*c.outcome)) << r->second.error;
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, LinkCheckCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- How the requests reach the server -------------------------------------

// Banners of one ad item with the given tags, checked as the application does.
struct Item {
    LibraryNode node;
    explicit Item(const std::vector<std::string>& tags) {
        node.title = "item";
        for (const auto& tag : tags)
            AppendBanner(node).tag = tag;
    }
    std::vector<BannerCheck> Banners() const { return CheckItemTags(node, node.title); }
};

TEST_F(LinkCheckServer, EachAddressOnceAndAsked) {
    const std::string shared =
        R"t(<a href="http://ads.example.test/page.html"><img src="http://img.example.test/468x60.png" width="468" height="60"></a>)t";
    Item item({shared, shared, shared, shared, shared,
               R"t(<a href="http://ads.example.test/cookie">a</a><a href="http://ads.example.test/nohead.html">b</a>)t"});
    const auto run = CheckLinksOnline(item.Banners(), {});
    EXPECT_EQ(run.banners.size(), 6u);
    EXPECT_EQ(run.urls, 4u);
    EXPECT_FALSE(run.stopped);

    const auto lines = Lines(6);
    auto page = Matching(lines, "http", "ads.example.test", "/page.html");
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0]->method, "HEAD");
    auto image = Matching(lines, "http", "img.example.test", "/468x60.png");
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0]->method, "GET");
    EXPECT_LE(Matching(lines, "https", "ads.example.test", "/page.html").size(), 1u);
    EXPECT_LE(Matching(lines, "https", "img.example.test", "/468x60.png").size(), 1u);

    auto nohead = Matching(lines, "http", "ads.example.test", "/nohead.html");
    ASSERT_EQ(nohead.size(), 2u);
    EXPECT_EQ(nohead[0]->method + " " + std::to_string(nohead[0]->status), "HEAD 405");
    EXPECT_EQ(nohead[1]->method + " " + std::to_string(nohead[1]->status), "GET 200");

    // The redirect set a cookie; the next request, and every other, goes without.
    EXPECT_EQ(Matching(lines, "http", "ads.example.test", "/index.html").size(), 1u);
    std::string agent = LinkCheckUserAgent(), lower = agent;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
    EXPECT_NE(lower.find("zova"), std::string::npos) << agent;
    EXPECT_NE(agent.find(ZOVA_VERSION), std::string::npos) << agent;
    for (const auto& line : lines) {
        EXPECT_EQ(line.cookie, "-") << line.uri;
        EXPECT_EQ(line.userAgent, agent) << line.uri;
    }
}

TEST_F(LinkCheckServer, ServerErrorsTriedTwiceOthersOnce) {
    FetchUrls({{"http://img.example.test/broken.png", true}, {"http://img.example.test/missing.png", true}}, Plain());
    const auto lines = Lines(3);
    EXPECT_EQ(Matching(lines, "http", "img.example.test", "/broken.png").size(), 2u);
    EXPECT_EQ(Matching(lines, "http", "img.example.test", "/missing.png").size(), 1u);
}

TEST_F(LinkCheckServer, AtMostTwoAtOnceOnOneHost) {
    std::vector<UrlRequest> requests;
    for (int i = 1; i <= 6; ++i)
        requests.push_back({"http://ads.example.test/s/" + std::to_string(i), false});
    const auto results = FetchUrls(requests, Plain());
    EXPECT_EQ(results.size(), 6u);
    const auto lines = Lines(6);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(MostAtOnce(lines), 2);
}

TEST_F(LinkCheckServer, AtMostTotalAtOnceOverHosts) {
    std::vector<UrlRequest> requests;
    for (const char* host : {"ads", "img", "other"})
        for (int i = 1; i <= 3; ++i)
            requests.push_back({std::string("https://") + host + ".example.test/s/" + std::to_string(i), false});
    LinkCheckOptions options = Plain();
    options.total = 3;
    const auto results = FetchUrls(requests, options);
    EXPECT_EQ(results.size(), 9u);
    const auto lines = Lines(9);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(MostAtOnce(lines), 3);
}

TEST_F(LinkCheckServer, CacheAnswersWithinMaxAge) {
    testutil::TempDir state;
    LinkCheckSetup setup;
    setup.cachePath = state / "linkcheck.json";
    Item item({R"t(<a href="http://ads.example.test/gone"><img src="https://img.example.test/468x60.png" width="468" height="60"></a>)t"});

    const auto first = CheckLinksOnline(item.Banners(), setup);
    EXPECT_EQ(first.fromCache, 0u);
    EXPECT_GE(Lines(2).size(), 2u);
    struct stat st {};
    ASSERT_EQ(::stat(setup.cachePath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the cache file is private";

    m_mark = Server().Mark();
    const auto second = CheckLinksOnline(item.Banners(), setup);
    EXPECT_TRUE(Lines(1).empty());
    EXPECT_EQ(second.urls, first.urls);
    EXPECT_EQ(second.fromCache, second.urls);
    ASSERT_EQ(second.banners.size(), 1u);
    EXPECT_EQ(Describe(second.banners[0].findings), Describe(first.banners[0].findings));

    m_mark = Server().Mark();
    setup.fresh = true;
    const auto third = CheckLinksOnline(item.Banners(), setup);
    EXPECT_EQ(third.fromCache, 0u);
    EXPECT_GE(Lines(2).size(), 2u);
}

TEST_F(LinkCheckServer, StopEndsTheRunEarly) {
    Item item({R"t(<a href="http://ads.example.test/long/1"><img src="http://img.example.test/468x60.png" width="468" height="60"></a>)t",
               R"t(<a href="http://ads.example.test/long/2">x</a>)t"});
    LinkCheckSetup setup;
    setup.options = Plain();
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable progressed;
    bool anyDone = false;
    std::thread stopper([&] {
        std::unique_lock lock(mutex);
        progressed.wait_for(lock, std::chrono::seconds(5), [&] { return anyDone; });
        stop = true;
    });
    const auto began = std::chrono::steady_clock::now();
    const auto run = CheckLinksOnline(
        item.Banners(), setup,
        [&](std::size_t done, std::size_t) {
            if (done == 0)
                return;
            std::lock_guard lock(mutex);
            anyDone = true;
            progressed.notify_one();
        },
        &stop);
    const auto took = std::chrono::steady_clock::now() - began;
    stopper.join();

    EXPECT_TRUE(run.stopped);
    EXPECT_LT(took, std::chrono::seconds(8)) << "the slow answers take 10 s";
    EXPECT_EQ(run.results.count(ResultKey({"http://img.example.test/468x60.png", true})), 1u);
    EXPECT_EQ(run.results.count(ResultKey({"http://ads.example.test/long/1", false})), 0u);
    EXPECT_EQ(run.results.count(ResultKey({"http://ads.example.test/long/2", false})), 0u);
}

} // namespace
