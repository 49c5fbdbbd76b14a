#include "cli/Commands.h"
#include "common/Cp932.h"
#include "stylemaker/style/CssWriter.h"
#include "stylemaker/style/PreviewPage.h"
#include "stylemaker/style/StyleSettings.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace {

struct CssOptions {
    std::string style;
    std::optional<std::string> tag;
    std::optional<std::string> out;
    std::optional<std::string> previewHtml;
};

// The style sheet as the page finds it: relative to the page's folder, so the two
// files can be moved together; CP932 like the rest of the page.
std::string HrefFromPage(const std::string& htmlPath, const std::string& cssPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path css = fs::absolute(cssPath, ec);
    fs::path dir = fs::absolute(htmlPath, ec).parent_path();
    fs::path rel = css.lexically_relative(dir);
    return Cp932::FromUtf8((rel.empty() ? css : rel).generic_string());
}

int WriteStyleSheet(CommandContext& ctx, const CssOptions& opt) {
    CStyleSettings settings;
    if (!settings.LoadFromFile(opt.style))
        return ctx.Fail("ファイルの読み込みに失敗しました。");
    // The terminal speaks UTF-8; the record and the style sheet hold CP932.
    const std::string tag = opt.tag ? Cp932::FromUtf8(*opt.tag) : settings.szTagID;
    if (tag.empty())
        return ctx.Fail("タグClass名を入力してください。");
    const std::string out = opt.out ? *opt.out : Cp932::ToUtf8(settings.szLastCss);
    std::vector<std::string> dropped;
    if (!vessilo::WriteCss(settings, out, tag, &dropped))
        return ctx.Fail("CSSファイルの保存に失敗しました。");
    // A hand-edited value that would break the sheet was left out: say which.
    for (const std::string& declaration : dropped)
        ctx.err << "書き出さなかった宣言（値に ; { } < > \" ' \\ または改行を含みます）: " << Cp932::ToUtf8(declaration)
                << "\n";
    if (opt.previewHtml) {
        // The page uses the exported class name so that the linked sheet styles it.
        if (!vessilo::WritePreviewPage(settings, *opt.previewHtml, HrefFromPage(*opt.previewHtml, out), tag))
            return ctx.Fail("cannot write the preview page " + *opt.previewHtml);
    }
    return 0;
}

} // namespace

void AddCssCommands(CLI::App& app, CommandContext& ctx) {
    auto opt = std::make_shared<CssOptions>();
    auto* css = app.add_subcommand("css", "Write the CSS file of a style file (.zvc)");
    css->add_option("STYLE", opt->style, "Style file")->required();
    css->add_option("--tag", opt->tag, "Tag class name (default: the one stored in the style file)");
    css->add_option("--out", opt->out, "CSS file to write (default: the last one stored in the style file)");
    css->add_option("--preview-html", opt->previewHtml, "Also write a sample page that links the CSS file");
    css->callback([&ctx, opt] { WriteStyleSheet(ctx, *opt); });
}
