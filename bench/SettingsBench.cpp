// Scrambling and the list sections of a large settings file: 1,000 ASP accounts
// and 1,000 FTP hosts.
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/settings/PasswordScrambler.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>


namespace {

std::string ModuleDir() {
    static const std::string dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zova_bench_XXXXXX").string();
        std::string made = ::mkdtemp(tmpl.data());
        return made + "/";
    }();
    return dir;
}

void WriteLists(int count) {
    AspList asp;
    FtpHostList ftp;
    for (int i = 0; i < count; ++i) {
        AppendEntry(asp, AspEntry{"asp " + std::to_string(i), "https://asp.example/login", "user", "password123"});
        FtpHostEntry host;
        host.name = "host " + std::to_string(i);
        host.host = "ftp.example.jp";
        host.user = "web";
        host.password = "secret!";
        host.directory = "/www";
        AppendEntry(ftp, host);
    }
    SaveAspList(asp, ModuleDir());
    SaveFtpHostList(ftp, ModuleDir());
}

void BM_ScramblePassword(benchmark::State& state) {
    std::string password(static_cast<std::size_t>(state.range(0)), 'p');
    for (auto _ : state)
        benchmark::DoNotOptimize(UnscramblePassword(ScramblePassword(password)));
}
BENCHMARK(BM_ScramblePassword)->Arg(16)->Arg(255);

void BM_LoadLists(benchmark::State& state) {
    WriteLists(1000);
    for (auto _ : state) {
        AspList asp;
        FtpHostList ftp;
        LoadAspList(asp, ModuleDir());
        LoadFtpHostList(ftp, ModuleDir());
        benchmark::DoNotOptimize(asp.Count() + ftp.Count());
    }
}
BENCHMARK(BM_LoadLists)->Unit(benchmark::kMillisecond);

void BM_SaveAspList(benchmark::State& state) {
    WriteLists(1000);
    AspList asp;
    LoadAspList(asp, ModuleDir());
    for (auto _ : state)
        SaveAspList(asp, ModuleDir());
}
BENCHMARK(BM_SaveAspList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::error_code ec;
    std::filesystem::remove_all(ModuleDir(), ec);
    return 0;
}
