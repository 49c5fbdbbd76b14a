#include "admanager/library/LibraryFile.h"
#include "admanager/settings/AppSettings.h"
#include "cli/Commands.h"
#include "cli/LibraryJson.h"
#include "common/FileOps.h"
#include "common/IniProfile.h"
#include "common/AppPaths.h"

#include <ostream>

namespace {

int Dump(CommandContext& ctx, const std::string& path) {
    AdLibrary library;
    if (!LoadLibrary(library, path))
        return ctx.Fail("ファイルの読み込みに失敗しました。");
    WriteLibraryJson(library, ctx.out);
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
    // New identifiers continue the program's counter, so they never repeat one
    // the program made in the same second.
    const std::string settingsPath = SettingsFile::PathIn(AppPaths::SettingsDir());
    IniDocument settings;
    if (!settings.LoadForEdit(settingsPath))
        return ctx.Fail("cannot read " + settingsPath);
    const std::int32_t counter = settings.GetInt(SettingsFile::kSettingSection, "last_index", 0);
    SetNodeIdCounter(counter);
    AdLibrary library;
    std::string error;
    if (!LibraryFromJson(json, library, error))
        return ctx.Fail(jsonPath + ": " + error);
    // Recorded before the library is written: a counter that ran ahead only
    // skips numbers, one left behind would hand them out again.
    if (GetNodeIdCounter() != counter &&
        !WriteProfileInt(SettingsFile::kSettingSection, "last_index", GetNodeIdCounter(), settingsPath))
        return ctx.Fail("cannot write last_index to " + settingsPath + "; the library was not written");
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
