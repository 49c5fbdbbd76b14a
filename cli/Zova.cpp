#include "cli/Zova.h"

#include "cli/Commands.h"
#include "common/AppPaths.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include <ostream>

int CommandContext::Fail(const std::string& message) {
    err << "zova: " << message << '\n';
    exitCode = 1;
    return 1;
}

int RunZova(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"zova - command-line companion of the Zelvor ad manager", "zova"};
    app.require_subcommand(1);
    std::string moduleDir;
    app.add_option("--module-dir", moduleDir,
                   "Use DIR for everything: settings (zova_af.ini), known hosts and the publish record. Default: "
                   "this program's folder when it can be written (a portable copy), otherwise "
                   "$XDG_CONFIG_HOME/zelvor/ for the settings and $XDG_STATE_HOME/zelvor/ for the rest, "
                   "as zova_af uses them");
    app.set_version_flag("--version", std::string("zova ") + ZOVA_VERSION, "Print the version and exit");

    CommandContext ctx{out, err};
    FileOps::SetPrivateFileNotice([&err](const std::string& path) {
        err << "zova: " << path << " could be read by other users; it is now readable by you alone\n";
    });
    // The stream lives only as long as this call.
    struct NoticeOff {
        ~NoticeOff() { FileOps::SetPrivateFileNotice({}); }
    } noticeOff;
    // Applied before any subcommand runs.
    app.parse_complete_callback([&] {
        if (!moduleDir.empty()) {
            ModuleDir::SetOverride(moduleDir);
            AppPaths::ForcePortable(true);
        }
    });
    AddLibraryCommands(app, ctx);
    AddGenerateCommands(app, ctx);
    AddCssCommands(app, ctx);
    AddSettingsCommands(app, ctx);
    AddPublishCommands(app, ctx);
    AddCheckCommands(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return 0;
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "zova: " << e.what() << '\n' << "Run 'zova --help' for usage.\n";
        return 2;
    }
    return ctx.exitCode;
}
