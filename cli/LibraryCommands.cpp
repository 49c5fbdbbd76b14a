#include "admanager/library/LibraryFile.h"
#include "cli/Commands.h"
#include "cli/LibraryJson.h"
#include "common/FileOps.h"

#include <ostream>

namespace {

int Dump(CommandContext& ctx, const std::string& path) {
    AdLibrary library;
    if (!LoadLibrary(library, path))
        return ctx.Fail("ファイルの読み込みに失敗しました。");
    ctx.out << LibraryToJson(library).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return 0;
}

int Import(CommandContext& ctx, const std::string& jsonPath, const std::string& libraryPath) {
    std::string text;
    if (!FileOps::ReadWholeFile(jsonPath, text))
        return ctx.Fail("cannot read " + jsonPath);
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        return ctx.Fail(jsonPath + " is not valid JSON: " + e.what());
    }
    AdLibrary library;
    std::string error;
    if (!LibraryFromJson(json, library, error))
        return ctx.Fail(jsonPath + ": " + error);
    if (!SaveLibrary(library, libraryPath))
        return ctx.Fail("ファイルの保存に失敗しました。 (" + libraryPath + ")");
    return 0;
}

} // namespace

void AddLibraryCommands(CLI::App& app, CommandContext& ctx) {
    auto* dump = app.add_subcommand("dump", "Print a library file (.zva) as JSON");
    dump->add_option("LIBRARY", "Library file")->required();
    dump->callback([&ctx, dump] { Dump(ctx, dump->get_option("LIBRARY")->as<std::string>()); });

    auto* import = app.add_subcommand("import", "Write a library file (.zva) from JSON");
    import->add_option("JSON", "JSON file in the form 'zova dump' prints")->required();
    import->add_option("LIBRARY", "Library file to write")->required();
    import->callback([&ctx, import] {
        Import(ctx, import->get_option("JSON")->as<std::string>(), import->get_option("LIBRARY")->as<std::string>());
    });
}
