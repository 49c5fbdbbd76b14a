#pragma once

#include <CLI/CLI.hpp>
#include <iosfwd>
#include <string>

// What every subcommand gets: the streams and where its exit code goes.
struct CommandContext {
    std::ostream& out;
    std::ostream& err;
    int exitCode = 0;

    // Prints "zova: message" on the error stream and sets exit code 1.
    int Fail(const std::string& message);
};

void AddLibraryCommands(CLI::App& app, CommandContext& ctx);
void AddCssCommands(CLI::App& app, CommandContext& ctx);
void AddGenerateCommands(CLI::App& app, CommandContext& ctx);
void AddSettingsCommands(CLI::App& app, CommandContext& ctx);
void AddPublishCommands(CLI::App& app, CommandContext& ctx);
void AddCheckCommands(CLI::App& app, CommandContext& ctx);
