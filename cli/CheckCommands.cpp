#include "admanager/htmlgen/TagCheck.h"
#include "admanager/library/LibraryFile.h"
#include "cli/Commands.h"
#include "cli/ItemLookup.h"
#include "common/Cp932.h"

#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

using nlohmann::ordered_json;

namespace {

struct CheckArgs {
    std::string library;
    std::vector<std::string> items;
    bool json = false;
};

std::string PathOf(const LibraryNode& root, const LibraryNode& target, const std::string& path = "") {
    for (const auto& child : root.children) {
        if (!child || child->IsDeleted())
            continue;
        std::string childPath = path.empty() ? child->title : path + "/" + child->title;
        if (child.get() == &target)
            return childPath;
        if (std::string found = PathOf(*child, target, childPath); !found.empty())
            return found;
    }
    return "";
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
            std::vector<BannerCheck> item = CheckItemTags(*lookup.item, PathOf(library.root, *lookup.item));
            std::move(item.begin(), item.end(), std::back_inserter(checks));
        }
    }

    int errors = 0, warnings = 0;
    for (const BannerCheck& c : checks)
        for (const TagFinding& f : c.findings)
            ++(f.severity == TagSeverity::Error ? errors : warnings);

    if (args.json) {
        ordered_json banners = ordered_json::array();
        for (const BannerCheck& c : checks) {
            if (c.findings.empty())
                continue;
            ordered_json findings = ordered_json::array();
            for (const TagFinding& f : c.findings)
                findings.push_back({{"id", TagProblemId(f.problem)},
                                    {"severity", f.severity == TagSeverity::Error ? "error" : "warning"},
                                    {"message", TagProblemText(f.problem)},
                                    {"detail", f.detail}});
            banners.push_back({{"item", Cp932::ToUtf8(c.itemPath)},
                               {"itemId", Cp932::ToUtf8(c.item->id)},
                               {"banner", c.index + 1},
                               {"name", Cp932::ToUtf8(c.banner->name)},
                               {"findings", std::move(findings)}});
        }
        ordered_json out = {
            {"checked", checks.size()}, {"errors", errors}, {"warnings", warnings}, {"banners", std::move(banners)}};
        ctx.out << out.dump(2) << '\n';
    } else {
        for (const BannerCheck& c : checks) {
            for (const TagFinding& f : c.findings) {
                ctx.out << Cp932::ToUtf8(c.itemPath) << " #" << c.index + 1 << " " << Cp932::ToUtf8(c.banner->name)
                        << ": " << TagSeverityText(f.severity) << ": " << TagProblemText(f.problem);
                if (!f.detail.empty())
                    ctx.out << ": " << f.detail;
                ctx.out << '\n';
            }
        }
        ctx.out << checks.size() << " banner(s) checked: " << errors << " error(s), " << warnings << " warning(s)\n";
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
    check->callback([&ctx, args] { Check(ctx, *args); });
}
