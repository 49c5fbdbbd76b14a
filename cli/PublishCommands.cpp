#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/upload/HostPreselection.h"
#include "admanager/upload/UploadJob.h"
#include "cli/Commands.h"
#include "cli/ItemLookup.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"

#include <memory>
#include <ostream>
#include <vector>

namespace {

struct PublishArgs {
    std::string library;
    std::vector<std::string> items;
    bool upload = false;
};

struct Target {
    const LibraryNode* item;
    std::string label; // UTF-8, as the user knows the item
};

// Every live ad item with an output path, in tree order.
void CollectPublishable(const LibraryNode& node, const std::string& prefix, std::vector<Target>& targets) {
    for (const auto& child : node.children) {
        if (child->IsDeleted())
            continue;
        std::string label = prefix + Cp932::ToUtf8(child->title);
        if (child->IsAdItem()) {
            if (!child->outputPath.empty())
                targets.push_back({child.get(), label});
        } else {
            CollectPublishable(*child, label + "/", targets);
        }
    }
}

class Publisher {
public:
    Publisher(CommandContext& ctx, const FtpHostList* hosts) : m_ctx(ctx), m_hosts(hosts) {}

    // False when the item could not be written or uploaded; the reason is printed.
    bool Publish(const Target& target) {
        const LibraryNode& item = *target.item;
        m_ctx.out << "== " << target.label << '\n';
        if (item.HasReadError())
            return Problem(target, "could not be read from the library");

        AdBlockOptions options = OptionsFromItem(item);
        if (OptionProblem problem = CheckAdBlockOptions(options); problem != OptionProblem::None)
            return Problem(target, OptionProblemMessage(problem));
        if (item.outputPath.empty())
            return Problem(target, "■HTML出力先■の「ローカル」を設定してください。");
        bool upload = m_hosts && item.ftpUpload != 0;
        if (upload && item.remoteFile.empty())
            return Problem(target, "■HTML出力先■の「FTP」を設定してください。。");

        AdBlockResult result = GenerateAdBlock(options, BannersInListOrder(item));
        if (!result.succeeded)
            return Problem(target, "HTMLの作成に失敗しました。");
        if (result.pages.empty())
            return Problem(target, "nothing to write: the ad item has no banners, so multi-page mode gives no pages");

        std::string outputPath = Cp932::ToUtf8(item.outputPath);
        OutputReport report = WriteAdBlockOutput(result, outputPath);
        for (const std::string& path : report.written)
            m_ctx.out << path << '\n';
        if (!report.Ok())
            return Problem(target, std::string(OutputErrorMessage(report.error)) + " (" + report.failedPath + ")");
        if (!upload) {
            m_ctx.out << "ローカルファイルに保存しました。\n";
            return true;
        }

        int index = PreselectHost(*m_hosts, item.ftpHost);
        if (index < 0)
            return Problem(target, "no FTP host settings in " + SettingsFile::PathIn(AppPaths::SettingsDir()));
        UploadRequest request;
        request.host = m_hosts->entries[static_cast<std::size_t>(index)];
        request.localPath = outputPath;
        request.remoteName = item.remoteFile;
        request.pageFiles = PageFilesOf(result);
        m_ctx.out << "FTP: " << Cp932::ToUtf8(request.host.name) << '\n';
        UploadJob job(std::move(request), [this](const std::string& line) { m_ctx.out << line << '\n'; });
        if (job.Run() != UploadOutcome::Succeeded)
            return Problem(target, "the upload failed");
        return true;
    }

private:
    bool Problem(const Target& target, const std::string& message) {
        m_ctx.err << "zova: " << target.label << ": " << message << '\n';
        return false;
    }

    CommandContext& m_ctx;
    const FtpHostList* m_hosts;
};

int Publish(CommandContext& ctx, const PublishArgs& args) {
    AdLibrary library;
    if (!LoadLibrary(library, args.library))
        return ctx.Fail("ファイルの読み込みに失敗しました。");

    FtpHostList hosts;
    if (args.upload && !LoadFtpHostList(hosts, AppPaths::SettingsDir()))
        return ctx.Fail("FTPホストリストの読み込みに失敗しました。");

    int failed = 0;
    std::vector<Target> targets;
    if (args.items.empty()) {
        CollectPublishable(library.root, "", targets);
    } else {
        for (const std::string& name : args.items) {
            ItemLookup lookup = FindAdItem(library, name, args.library);
            if (lookup.item) {
                targets.push_back({lookup.item, name});
            } else {
                ctx.err << "zova: " << lookup.error << '\n';
                ++failed;
            }
        }
    }

    Publisher publisher(ctx, args.upload ? &hosts : nullptr);
    int published = 0;
    for (const Target& target : targets) {
        if (publisher.Publish(target))
            ++published;
        else
            ++failed;
    }
    ctx.out << published << " ad item(s) published, " << failed << " failed\n";
    if (failed > 0)
        ctx.exitCode = 1;
    return ctx.exitCode;
}

} // namespace

void AddPublishCommands(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<PublishArgs>();
    auto* pub = app.add_subcommand(
        "publish", "Write the ad blocks of ad items with their stored settings and, with --upload, put them by FTP");
    pub->add_option("LIBRARY", args->library, "Library file (.zva)")->required();
    pub->add_option(
        "ITEM", args->items,
        "Node identifiers or title paths (\"Folder/Sub/Item\"); default: every ad item with an output path");
    pub->add_flag("--upload", args->upload,
                  "Upload the items whose FTP flag is set, with their FTP host setting from zova_af.ini");
    pub->callback([&ctx, args] { Publish(ctx, *args); });
}
