// Save and load of a large library: 2,000 ad items of 50 banners with ~300-byte tags.
#include "admanager/library/LibraryFile.h"
#include "common/ModuleDir.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string TempDir(const std::string& base) {
    std::string tmpl = base + "/zova_bench_XXXXXX";
    return ::mkdtemp(tmpl.data());
}

void BuildLibrary(AdLibrary& lib) {
    InitEmptyLibrary(lib);
    std::string tag =
        "<a href=\"https://px.example.com/svt/ejp?a8mat=3T5ABC+1234+5678+90ABC\" rel=\"nofollow\">"
        "<img border=\"0\" width=\"300\" height=\"250\" alt=\"\" "
        "src=\"https://www.example.net/svt/bgt?aid=230101&wid=001&eno=01&mid=s00000012345001001000\"></a>"
        "<img border=\"0\" width=\"1\" height=\"1\" src=\"https://www.example.com/0G1234.gif\" alt=\"\">";
    int id = 0;
    for (int f = 0; f < 20; ++f) {
        LibraryNode folder;
        folder.flags = NODE_FOLDER;
        folder.title = "folder " + std::to_string(f);
        LibraryNode& fn = AddChildCopy(lib.root, folder);
        fn.id = "F" + std::to_string(id++);
        for (int i = 0; i < 100; ++i) {
            LibraryNode item;
            item.title = "item " + std::to_string(i);
            item.comment = "comment of the item";
            for (int b = 0; b < 50; ++b) {
                Banner& banner = AppendBanner(item);
                banner.advertiser = "advertiser";
                banner.comment = "a short comment";
                banner.tag = tag;
            }
            LibraryNode& in = AddChildCopy(fn, item);
            in.id = "I" + std::to_string(id++);
        }
    }
}

// The library is written through a work directory of one file per node, so the
// figures depend on how fast the file system creates files: measured both on the
// disk and on a memory file system.
struct Fixture {
    std::string module;
    std::string file;
    AdLibrary lib;
    explicit Fixture(const std::string& base) : module(TempDir(base)), file(module + "/big.zva") { BuildLibrary(lib); }
    ~Fixture() { std::filesystem::remove_all(module); }
};

Fixture& Shared(bool memory) {
    static Fixture disk(std::filesystem::temp_directory_path().string());
    static Fixture shm(std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                                                                 : std::filesystem::temp_directory_path().string());
    Fixture& f = memory ? shm : disk;
    ModuleDir::SetOverride(f.module);
    return f;
}

void BM_SaveLibrary(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    for (auto _ : state) {
        if (!SaveLibrary(f.lib, f.file))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(f.file)));
}
BENCHMARK(BM_SaveLibrary)->ArgName("memfs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadLibrary(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    SaveLibrary(f.lib, f.file);
    for (auto _ : state) {
        AdLibrary lib;
        if (!LoadLibrary(lib, f.file))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(lib.root.children.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(f.file)));
}
BENCHMARK(BM_LoadLibrary)->ArgName("memfs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
