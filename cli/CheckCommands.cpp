#include "admanager/htmlgen/TagCheck.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/linkcheck/LinkCheck.h"
#include "cli/Commands.h"
#include "cli/ItemLookup.h"
#include "common/Cp932.h"

#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <unistd.h>

using nlohmann::ordered_json;

namespace {

struct CheckArgs {
    std::string library;
    std::vector<std::string> items;
    bool json = false;
    bool online = false;
    bool fresh = false;
};

// What a server or a tag wrote, safe to put on a terminal.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return text;
}

const char* SeverityId(TagSeverity severity) {
    switch (severity) {
    case TagSeverity::Error:
        return "error";
    case TagSeverity::Warning:
        return "warning";
    case TagSeverity::Info:
        break;
    }
    return "info";
}

int Check(CommandContext& ctx, const CheckArgs& args) {
    AdLibrary library;
    if (!LoadLibrary(library, args.library))
        return ctx.Fail("ファイルの読み込みに失敗しました。");

    std::vector<BannerCheck> checks;
    if (args.items.empty()) {
        checks = CheckLibraryTags(library.root);
    } else {
        for (const std::string& name : args.items) {
            ItemLookup lookup = FindAdItem(library, name, args.library);
            if (!lookup.item)
                return ctx.Fail(lookup.error);
            std::vector<BannerCheck> item = CheckItemTags(*lookup.item, NodePathOf(library.root, *lookup.item));
            std::move(item.begin(), item.end(), std::back_inserter(checks));
        }
    }

    if (args.online) {
        LinkCheckSetup setup;
        setup.cachePath = DefaultLinkCachePath();
        setup.fresh = args.fresh;
        // A count on the terminal while the addresses are fetched.
        LinkProgress progress;
        if (::isatty(STDERR_FILENO))
            progress = [&ctx](std::size_t done, std::size_t total) {
                ctx.err << "\rリンクの確認: " << done << "/" << total << std::flush;
            };
        LinkCheckRun run = CheckLinksOnline(std::move(checks), setup, progress);
        if (progress)
            ctx.err << '\n';
        checks = std::move(run.banners);
    }

    int errors = 0, warnings = 0, infos = 0;
    for (const BannerCheck& c : checks)
        for (const TagFinding& f : c.findings)
            ++(f.severity == TagSeverity::Error ? errors : f.severity == TagSeverity::Warning ? warnings : infos);

    if (args.json) {
        ordered_json banners = ordered_json::array();
        for (const BannerCheck& c : checks) {
            if (c.findings.empty())
                continue;
            ordered_json findings = ordered_json::array();
            for (const TagFinding& f : c.findings) {
                findings.push_back({{"id", TagProblemId(f.problem)},
                                    {"severity", SeverityId(f.severity)},
                                    {"message", TagProblemText(f.problem)},
                                    {"detail", f.detail}});
                if (IsOnlineProblem(f.problem)) {
                    findings.back()["status"] = f.status;
                    findings.back()["finalUrl"] = f.finalUrl;
                    findings.back()["note"] = f.note;
                }
            }
            banners.push_back({{"item", Cp932::ToUtf8(c.itemPath)},
                               {"itemId", Cp932::ToUtf8(c.item->id)},
                               {"banner", c.index + 1},
                               {"name", Cp932::ToUtf8(c.banner->name)},
                               {"findings", std::move(findings)}});
        }
        ordered_json out = {{"checked", checks.size()}, {"errors", errors}, {"warnings", warnings}};
        if (args.online)
            out["infos"] = infos;
        out["banners"] = std::move(banners);
        // Addresses and answers are not ours: bytes that are no UTF-8 must not end the program.
        ctx.out << out.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
    } else {
        for (const BannerCheck& c : checks) {
            for (const TagFinding& f : c.findings) {
                ctx.out << Cp932::ToUtf8(c.itemPath) << " #" << c.index + 1 << " " << Cp932::ToUtf8(c.banner->name)
                        << ": " << TagSeverityText(f.severity) << ": " << TagProblemText(f.problem);
                if (!f.detail.empty())
                    ctx.out << ": " << Printable(f.detail);
                if (!f.note.empty())
                    ctx.out << " (" << Printable(f.note) << ")";
                ctx.out << '\n';
            }
        }
        ctx.out << checks.size() << " banner(s) checked: " << errors << " error(s), " << warnings << " warning(s)";
        if (args.online)
            ctx.out << ", " << infos << " note(s)";
        ctx.out << '\n';
    }
    if (errors > 0)
        ctx.exitCode = 1;
    return ctx.exitCode;
}

} // namespace

void AddCheckCommands(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<CheckArgs>();
    auto* check =
        app.add_subcommand("check", "Check the banner tags of a library: exit 1 when any finding is an error");
    check->add_option("LIBRARY", args->library, "Library file (.zva)")->required();
    check->add_option("ITEM", args->items,
                      "Ad items to check (identifier or title path); every ad item when none is named");
    check->add_flag("--json", args->json, "Print the findings as JSON");
    check->add_flag("--online", args->online,
                    "Also fetch every address the tags use and report dead links and images, TLS errors, "
                    "links redirected to another site's top page (a different host, path / or empty), "
                    "images that are none or of another size, slow answers and http:// that also answers over "
                    "https://. Results are reused for an hour");
    check->add_flag("--fresh", args->fresh, "With --online: fetch every address again, whatever was kept");
    check->callback([&ctx, args] { Check(ctx, *args); });
}
