#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/upload/KnownHosts.h"
#include "admanager/upload/Publishing.h"
#include "admanager/upload/UploadJob.h"
#include "cli/Commands.h"
#include "cli/ItemLookup.h"
#include "common/Cp932.h"
#include "common/AppPaths.h"
#include "common/FileOps.h"

#include <memory>
#include <ostream>
#include <vector>

namespace {

struct PublishArgs {
    std::string library;
    std::vector<std::string> items;
    bool upload = false;
    bool allFiles = false;
    bool changedOnly = false;
    std::string passphraseFile;
};

int Publish(CommandContext& ctx, const PublishArgs& args) {
    AdLibrary library;
    if (!LoadLibrary(library, args.library))
        return ctx.Fail("ファイルの読み込みに失敗しました。");

    FtpHostList hosts;
    if (args.upload && !LoadFtpHostList(hosts, AppPaths::SettingsDir()))
        return ctx.Fail("FTPホストリストの読み込みに失敗しました。");
    std::string passphrase;
    if (!args.passphraseFile.empty()) {
        if (!FileOps::ReadWholeFile(args.passphraseFile, passphrase))
            return ctx.Fail("cannot read " + args.passphraseFile);
        passphrase = passphrase.substr(0, passphrase.find_first_of("\r\n"));
    }

    const std::string recordPath = AppPaths::StateDir() + PublishRecord::kFileName;
    PublishRecord record;
    if (!record.Load(recordPath))
        ctx.err << "zova: " << recordPath << " is not a record of published files; every file counts as changed\n";

    int failed = 0;
    std::vector<std::pair<const LibraryNode*, std::string>> targets;
    if (args.items.empty()) {
        CollectPublishable(library.root, targets);
    } else {
        for (const std::string& name : args.items) {
            ItemLookup lookup = FindAdItem(library, name, args.library);
            if (lookup.item) {
                targets.emplace_back(lookup.item, name);
            } else {
                ctx.err << "zova: " << lookup.error << '\n';
                ++failed;
            }
        }
    }

    // The label and tag choices of the ad manager's settings, so both write the same blocks.
    AppSettings settings;
    if (!LoadSettings(settings, AppPaths::SettingsDir()))
        return ctx.Fail("cannot read " + SettingsFile::PathIn(AppPaths::SettingsDir()));
    std::vector<PublishItem> items;
    for (const auto& [node, label] : targets)
        items.push_back(PlanItem(*node, label, args.upload ? &hosts : nullptr, record, &settings));
    PublishOptions options;
    options.allFiles = args.allFiles;
    options.knownHostsPath = AppPaths::StateDir() + KnownHosts::kFileName;
    options.recordPath = recordPath;
    for (int i = 0; i < hosts.Count(); ++i)
        options.passphrases[i] = passphrase;
    PublishRun run(std::move(items), hosts, options, [&ctx](const std::string& line) { ctx.out << line << '\n'; });
    run.Run();
    if (run.RecordFailed())
        ctx.err << "zova: cannot write " << recordPath << '\n';

    int published = 0;
    for (std::size_t i = 0; i < run.Items().size(); ++i) {
        const PublishItemOutcome& o = run.Outcomes()[i];
        if (o.result == PublishItemOutcome::Result::Published || o.result == PublishItemOutcome::Result::Unchanged) {
            ++published;
        } else {
            ctx.err << "zova: " << run.Items()[i].label << ": " << o.message << '\n';
            ++failed;
        }
    }
    for (const auto& [host, peer] : run.Untrusted())
        ctx.err << "zova: " << Cp932::ToUtf8(hosts.entries[static_cast<std::size_t>(host)].name)
                << ": not trusted: " << FingerprintText(peer)
                << "; trust it in the FTP host settings of zova_af or import its fingerprint with "
                   "'zova settings import'\n";
    ctx.out << published << " ad item(s) published, " << failed << " failed\n";
    if (failed > 0)
        ctx.exitCode = 1;
    return ctx.exitCode;
}

} // namespace

void AddPublishCommands(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<PublishArgs>();
    auto* pub = app.add_subcommand(
        "publish", "Write the ad blocks of ad items with their stored settings and, with --upload, put them on "
                   "their FTP hosts (FTP, FTP over TLS or SFTP), one connection per host");
    pub->add_option("LIBRARY", args->library, "Library file (.zva)")->required();
    pub->add_option(
        "ITEM", args->items,
        "Node identifiers or title paths (\"Folder/Sub/Item\"); default: every ad item with an output path");
    pub->add_flag("--upload", args->upload,
                  "Upload the items whose FTP flag is set to the FTP host setting of zova_af.ini whose name "
                  "equals the stored one (letter case aside); an item whose host is missing is not sent");
    auto* all = pub->add_flag("--all-files", args->allFiles,
                              "Send every file, also those whose bytes are as last published");
    pub->add_flag("--changed-only", args->changedOnly,
                  "Send only files whose bytes changed since they were last published (the default)")
        ->excludes(all);
    pub->add_option("--passphrase-file", args->passphraseFile,
                    "File whose first line is the passphrase of SFTP key files");
    pub->callback([&ctx, args] { Publish(ctx, *args); });
}
