// The online check of 2,000 banners: 4,000 distinct addresses over 20 host
// names, each answered by nginx after 50 ms, with the default options (2 at
// once per host, 16 in all). Runs in a network namespace of its own with
// Debian's nginx unpacked by scripts/setup-servers; needs root.
// Targets: at most 30 s a run and 150 MB peak resident memory.
#include "admanager/library/LibraryNode.h"
#include "admanager/linkcheck/LinkCheck.h"

#include "NginxServer.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <set>

namespace {

std::string g_skip = "not entered";

constexpr int kBanners = 2000;
constexpr int kPerItem = 20;

void BM_CheckTwoThousandBanners(benchmark::State& state) {
    const bool https = state.range(0) != 0;
    if (!g_skip.empty()) {
        state.SkipWithError(g_skip.c_str());
        return;
    }
    testutil::NginxServer server;
    if (!server.Ready()) {
        state.SkipWithError(server.Failure().c_str());
        return;
    }
    // Plain http:// addresses get an https:// probe each as well.
    state.SetLabel(https ? "https://" : "http:// with probes");
    const std::string scheme = https ? "https://" : "http://";
    std::vector<std::unique_ptr<LibraryNode>> items;
    for (int i = 0; i < kBanners; ++i) {
        if (i % kPerItem == 0) {
            items.push_back(std::make_unique<LibraryNode>());
            items.back()->title = "item" + std::to_string(items.size());
        }
        const std::string host = scheme + testutil::BenchHostName(i % 20 + 1);
        AppendBanner(*items.back()).tag = "<a href=\"" + host + "/a/" + std::to_string(i) +
                                          "\" rel=\"sponsored\"><img src=\"" + host + "/i/" + std::to_string(i) +
                                          ".gif\" width=\"468\" height=\"60\" alt=\"ad\"></a>";
    }
    std::vector<BannerCheck> banners;
    for (const auto& item : items) {
        auto checks = CheckItemTags(*item, item->title);
        banners.insert(banners.end(), checks.begin(), checks.end());
    }

    std::size_t urls = 0, problems = 0;
    double wall = 0, busy = 0;
    std::size_t connections = 0;
    for (auto _ : state) {
        const std::size_t mark = server.Mark();
        const auto began = std::chrono::steady_clock::now();
        const auto run = CheckLinksOnline(banners, {});
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        state.SetIterationTime(wall);
        urls = run.urls;
        busy = 0;
        std::set<long> used;
        for (const auto& line : server.LinesSince(mark)) {
            busy += line.end - line.start;
            used.insert(line.connection);
        }
        connections = used.size();
        problems = 0;
        for (const auto& b : run.banners)
            for (const auto& f : b.findings)
                if (f.problem >= TagProblem::LinkDead && f.problem != TagProblem::HttpsAvailable)
                    ++problems;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["urls"] = static_cast<double>(urls);
    // Every address answers in time with what the tag expects: anything else is a fault.
    state.counters["problems"] = static_cast<double>(problems);
    // How many requests the server had at once on average, against the 16 allowed.
    state.counters["in_flight"] = wall > 0 ? busy / wall : 0;
    // Each a TCP (and TLS) handshake: kept-alive connections save most.
    state.counters["connections"] = static_cast<double>(connections);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

BENCHMARK(BM_CheckTwoThousandBanners)
    ->ArgName("https")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strncmp(argv[i], "--benchmark_list_tests", 22) == 0;
    // While this is the only thread: threads started earlier would stay outside.
    if (!listing)
        g_skip = testutil::EnterLinkCheckSandbox();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
