// Static and random blocks of 10,000 banners with ~300-byte tags; the figure of
// interest is bytes of output per second.
#include "admanager/htmlgen/AdBlockGenerator.h"
#include "common/Cp932.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

struct Banners {
    std::vector<std::unique_ptr<Banner>> owned;
    std::vector<const Banner*> list;

    Banners() {
        const std::string tag =
            "<a href=\"https://px.example.com/svt/ejp?a8mat=3T5ABC+1234+5678+90ABC\" rel=\"nofollow\">"
            "<img border=\"0\" width=\"300\" height=\"250\" alt=\"\" "
            "src=\"https://www.example.net/svt/bgt?aid=230101&wid=001&eno=01&mid=s00000012345001001000\"></a>"
            "<img border=\"0\" width=\"1\" height=\"1\" src=\"https://www.example.com/0G1234.gif\" alt=\"\">";
        for (int i = 0; i < 10000; ++i) {
            auto b = std::make_unique<Banner>();
            b->name = Cp932::FromUtf8("国内旅行の予約なら ") + std::to_string(i);
            b->comment = Cp932::FromUtf8("全国のホテル・旅館をポイント付きで予約できます。");
            b->tag = tag;
            list.push_back(b.get());
            owned.push_back(std::move(b));
        }
    }
};

const Banners& Shared() {
    static const Banners banners;
    return banners;
}

void Run(benchmark::State& state, int rowLimit, int multiPage) {
    const Banners& banners = Shared();
    AdBlockOptions options;
    options.columns = 3;
    options.rowLimit = rowLimit;
    options.rows = 5;
    options.multiPage = multiPage;
    options.tagClass = "zova";
    std::size_t bytes = 0;
    for (auto _ : state) {
        AdBlockResult result = GenerateAdBlock(options, banners.list);
        for (const std::string& page : result.pages)
            bytes += page.size();
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_StaticBlock(benchmark::State& state) {
    Run(state, 0, 0);
}
void BM_RandomBlock(benchmark::State& state) {
    Run(state, 1, 0);
}
void BM_MultiPageBlock(benchmark::State& state) {
    Run(state, 1, 1);
}

BENCHMARK(BM_StaticBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultiPageBlock)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
