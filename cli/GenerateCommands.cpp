#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/settings/AppSettings.h"
#include "cli/Commands.h"
#include "cli/ItemLookup.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"

#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

namespace {

struct GenerateArgs {
    std::string library;
    std::string item;
    std::string out;
    bool toStdout = false;
    int page = 1;
    int columns = 0;
    bool rowLimit = false;
    bool noRowLimit = false;
    int rows = 0;
    std::string mode;
    std::string tagClass;
    std::vector<int> layout;

    CLI::Option* outOpt = nullptr;
    CLI::Option* columnsOpt = nullptr;
    CLI::Option* rowsOpt = nullptr;
    CLI::Option* classOpt = nullptr;
    CLI::Option* layoutOpt = nullptr;
};

int Generate(CommandContext& ctx, const GenerateArgs& args) {
    AdLibrary library;
    if (!LoadLibrary(library, args.library))
        return ctx.Fail("ファイルの読み込みに失敗しました。");

    ItemLookup lookup = FindAdItem(library, args.item, args.library);
    if (!lookup.item)
        return ctx.Fail(lookup.error);
    const LibraryNode* item = lookup.item;

    AdBlockOptions options = OptionsFromItem(*item);
    // The label and tag choices of the ad manager's settings, so both write the same block.
    AppSettings settings;
    if (!LoadSettings(settings, AppPaths::SettingsDir()))
        return ctx.Fail("cannot read " + SettingsFile::PathIn(AppPaths::SettingsDir()));
    ApplyOutputSettings(options, settings);
    if (args.columnsOpt->count())
        options.columns = args.columns;
    if (args.rowLimit)
        options.rowLimit = 1;
    if (args.noRowLimit)
        options.rowLimit = 0;
    if (args.rowsOpt->count())
        options.rows = args.rows;
    if (!args.mode.empty())
        options.multiPage = args.mode == "pages" ? 1 : 0;
    if (args.classOpt->count()) {
        options.tagClass = Cp932::FromUtf8(args.tagClass);
        Cp932::CutTo(options.tagClass, kTagClassRead);
    }
    if (args.layoutOpt->count())
        for (int s = 0; s < 3; ++s)
            options.layout[s] = args.layout[static_cast<std::size_t>(s)];

    if (OptionProblem problem = CheckAdBlockOptions(options); problem != OptionProblem::None)
        return ctx.Fail(OptionProblemMessage(problem));

    // Paths typed on the command line are already the system's; the stored one is CP932.
    std::string outputPath = args.outOpt->count() ? args.out : Cp932::ToUtf8(item->outputPath);
    if (!args.toStdout && outputPath.empty())
        return ctx.Fail("■HTML出力先■の「ローカル」を設定してください。");

    std::vector<const Banner*> banners = BannersInListOrder(*item);
    AdBlockResult result = GenerateAdBlock(options, banners);
    if (!result.succeeded)
        return ctx.Fail("HTMLの作成に失敗しました。");
    if (result.pages.empty())
        return ctx.Fail("nothing to write: the ad item has no banners, so multi-page mode gives no pages");

    if (args.toStdout) {
        if (static_cast<std::size_t>(args.page) > result.pages.size())
            return ctx.Fail("page " + std::to_string(args.page) + " does not exist; the block has " +
                            std::to_string(result.pages.size()) + " page(s)");
        const std::string& page = result.pages[static_cast<std::size_t>(args.page - 1)];
        ctx.out.write(page.data(), static_cast<std::streamsize>(page.size()));
        ctx.out.flush();
        return 0;
    }

    OutputReport report = WriteAdBlockOutput(result, outputPath);
    for (const std::string& path : report.written)
        ctx.out << path << '\n';
    if (!report.Ok())
        return ctx.Fail(std::string(OutputErrorMessage(report.error)) + " (" + report.failedPath + ")");
    return 0;
}

} // namespace

void AddGenerateCommands(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<GenerateArgs>();
    auto* gen = app.add_subcommand("generate", "Generate the ad block of an ad item and write its files");
    gen->add_option("LIBRARY", args->library, "Library file (.zva)")->required();
    gen->add_option("ITEM", args->item, "Node identifier, or title path from the root (\"Folder/Sub/Item\")")
        ->required();

    auto* toStdout = gen->add_flag("--stdout", args->toStdout, "Print a page (CP932 bytes) instead of writing files");
    gen->add_option("--page", args->page, "Page to print with --stdout (default 1)")
        ->check(CLI::PositiveNumber)
        ->needs(toStdout);
    args->outOpt =
        gen->add_option("--out", args->out, "Output file instead of the stored output path")->excludes(toStdout);
    args->columnsOpt = gen->add_option("--columns", args->columns, "Columns, 1-6")->check(CLI::Range(1, 6));
    auto* rowLimit = gen->add_flag("--row-limit", args->rowLimit, "Limit the rows: random script or pages");
    gen->add_flag("--no-row-limit", args->noRowLimit, "One static table of every banner")->excludes(rowLimit);
    args->rowsOpt =
        gen->add_option("--rows", args->rows, "Rows per block with the row limit")->check(CLI::PositiveNumber);
    gen->add_option("--mode", args->mode, "With the row limit: random or pages")
        ->check(CLI::IsMember({"random", "pages"}));
    args->classOpt = gen->add_option("--class", args->tagClass, "Tag class name (prefix of the CSS classes)");
    args->layoutOpt = gen->add_option("--layout", args->layout, "Cell lines A,B,C: 0 nothing, 1 name, 2 comment, 3 tag")
                          ->delimiter(',')
                          ->expected(3)
                          ->check(CLI::Range(0, 3));

    gen->callback([&ctx, args] { Generate(ctx, *args); });
}
