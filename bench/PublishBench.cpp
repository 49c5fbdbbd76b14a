// Publishing 20 small ad items to one host in one run, against vsftpd,
// ProFTPD and Pure-FTPd (plain FTP and FTP over TLS with their stock
// settings) and OpenSSH's SFTP, on 127.0.0.1. Needs root and the servers
// unpacked by scripts/setup-servers. Target: at most 1 s a run on each.
#include "admanager/library/LibraryNode.h"
#include "admanager/settings/AccountEditing.h"
#include "admanager/upload/Publishing.h"

#include "RealServers.h"
#include "TestUtil.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using testutil::FtpServerKind;

struct Fixture {
    testutil::TempDir local;
    std::vector<std::unique_ptr<LibraryNode>> items;
    FtpHostList hosts;

    explicit Fixture(const FtpHostEntry& host) {
        hosts.entries.push_back(host);
        for (int i = 0; i < 20; ++i) {
            auto item = std::make_unique<LibraryNode>();
            item->id = "bench" + std::to_string(i);
            item->title = item->id;
            item->tagClass = "ad";
            item->outputPath = local.path() + "/" + item->id + ".html";
            item->ftpUpload = 1;
            item->ftpHost = host.name;
            item->remoteFile = "bench/" + item->id + ".html";
            AppendBanner(*item).tag = "<a href=\"https://example.com/" + std::to_string(i) + "\">ad</a>";
            items.push_back(std::move(item));
        }
    }

    bool RunOnce(const std::string& knownHosts) {
        PublishRecord none;
        std::vector<PublishItem> planned;
        for (const auto& item : items)
            planned.push_back(PlanItem(*item, item->id, &hosts, none));
        PublishOptions options;
        options.allFiles = true;
        options.knownHostsPath = knownHosts;
        options.recordPath = local.path() + "/" + PublishRecord::kFileName;
        PublishRun run(std::move(planned), hosts, options, {});
        run.Run();
        return !run.AnyFailed();
    }
};

void Measure(benchmark::State& state, Fixture& fixture, const std::string& knownHosts = {}) {
    for (auto _ : state)
        if (!fixture.RunOnce(knownHosts)) {
            state.SkipWithError("publishing failed");
            break;
        }
}

void BM_PublishTwentyFtp(benchmark::State& state) {
    const auto kind = static_cast<FtpServerKind>(state.range(0));
    const bool tls = state.range(1) != 0;
    if (::geteuid() != 0 || !testutil::RealFtpServer::Unpacked(kind)) {
        state.SkipWithError("needs root and the unpacked servers");
        return;
    }
    testutil::RealFtpServer server(kind, tls);
    if (!server.Ready()) {
        state.SkipWithError("server did not start");
        return;
    }
    state.SetLabel(server.Name() + (tls ? " FTPS" : " FTP"));
    FtpHostEntry host = FtpHostEntry::New();
    host.name = "bench";
    host.host = "127.0.0.1";
    host.port = server.Port();
    host.user = server.User();
    host.password = server.Password();
    host.directory = "site";
    host.protocol = tls ? FtpProtocol::Ftps : FtpProtocol::Ftp;
    host.passive = true;
    host.certificateSha256 = tls ? server.CertSha256() : "";
    Fixture fixture(host);
    Measure(state, fixture);
}

void BM_PublishTwentySftp(benchmark::State& state) {
    if (::geteuid() != 0) {
        state.SkipWithError("needs root");
        return;
    }
    testutil::RealSshServer server("ed25519");
    if (!server.Ready()) {
        state.SkipWithError("sshd did not start");
        return;
    }
    state.SetLabel("OpenSSH SFTP");
    FtpHostEntry host = FtpHostEntry::New();
    host.name = "bench";
    host.host = "127.0.0.1";
    SetProtocol(host, FtpProtocol::Sftp);
    host.port = server.Port();
    host.user = server.User();
    host.password = server.Password();
    host.directory = server.Root() + "site";
    Fixture fixture(host);
    // Trusted the way the user would: once, on first contact.
    UploadJob probe(UploadRequest{host, {}, {}, {}, {}}, {});
    probe.Run();
    fixture.hosts.entries[0].hostKeySha256 = probe.Peer().sha256;
    Measure(state, fixture);
}

} // namespace

BENCHMARK(BM_PublishTwentyFtp)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PublishTwentySftp)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
