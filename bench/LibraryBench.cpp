// Save and load of a large library: 2,000 ad items of 50 banners with ~300-byte
// tags, on the disk (and, with --memfs, on a memory file system too), beside
// what the same number of bytes costs as a plain write with fdatasync and a
// plain read, measured in the same run.
#include "admanager/library/LibraryFile.h"
#include "common/FileOps.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

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

struct Fixture {
    std::string dir;
    std::string file;
    std::string raw;
    std::size_t bytes = 0;
    AdLibrary lib;
    explicit Fixture(const std::string& base) : dir(TempDir(base)), file(dir + "/big.zva"), raw(dir + "/raw.bin") {
        BuildLibrary(lib);
        SaveLibrary(lib, file);
        bytes = static_cast<std::size_t>(std::filesystem::file_size(file));
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& Shared(bool memory) {
    static Fixture disk(std::filesystem::temp_directory_path().string());
    if (!memory)
        return disk;
    static Fixture shm(std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                                                                 : std::filesystem::temp_directory_path().string());
    return shm;
}

void SetBytes(benchmark::State& state, const Fixture& f) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes));
}

void BM_SaveLibrary(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    for (auto _ : state)
        if (!SaveLibrary(f.lib, f.file))
            state.SkipWithError("save failed");
    SetBytes(state, f);
}

void BM_LoadLibrary(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    for (auto _ : state) {
        AdLibrary lib;
        if (!LoadLibrary(lib, f.file))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(lib.root.children.size());
    }
    SetBytes(state, f);
}

// The baselines: the same number of bytes written to a file and synced, and read back.
void BM_RawWriteSync(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    const std::string bytes(f.bytes, 'z');
    for (auto _ : state) {
        int fd = ::open(f.raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                  ::fdatasync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!ok)
            state.SkipWithError("raw write failed");
    }
    SetBytes(state, f);
}

void BM_RawRead(benchmark::State& state) {
    Fixture& f = Shared(state.range(0) != 0);
    std::string bytes;
    for (auto _ : state) {
        if (!FileOps::ReadWholeFile(f.file, bytes))
            state.SkipWithError("raw read failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    SetBytes(state, f);
}

// Keeps each run's time, so the ratios to the baselines can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    bool memfs = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--memfs") == 0) {
            memfs = true;
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    const std::pair<const char*, void (*)(benchmark::State&)> benches[] = {
        {"BM_SaveLibrary", BM_SaveLibrary}, {"BM_RawWriteSync", BM_RawWriteSync},
        {"BM_LoadLibrary", BM_LoadLibrary}, {"BM_RawRead", BM_RawRead}};
    for (const auto& [name, fn] : benches) {
        auto* b = benchmark::RegisterBenchmark(name, fn)->ArgName("memfs")->Arg(0);
        if (memfs)
            b->Arg(1);
        b->Unit(benchmark::kMillisecond)->MinTime(2.0);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const char* fs : {"memfs:0", "memfs:1"}) {
        auto at = [&](const std::string& name) {
            // Names carry their options behind the argument ("/min_time:2.000").
            for (const auto& [run, time] : reporter.times)
                if (run.rfind(name + "/" + fs, 0) == 0)
                    return time;
            return 0.0;
        };
        if (at("BM_RawWriteSync") > 0 && at("BM_RawRead") > 0)
            std::printf("%s: save %.1f ms = %.2f x the plain write with fdatasync (%.1f ms); "
                        "load %.1f ms = %.1f x the plain read (%.1f ms); %.1f MB\n",
                        std::strcmp(fs, "memfs:0") == 0 ? "disk" : "memory file system", at("BM_SaveLibrary"),
                        at("BM_SaveLibrary") / at("BM_RawWriteSync"), at("BM_RawWriteSync"), at("BM_LoadLibrary"),
                        at("BM_LoadLibrary") / at("BM_RawRead"), at("BM_RawRead"), Shared(false).bytes / 1e6);
    }
    return 0;
}
