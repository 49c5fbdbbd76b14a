#pragma once

#include "cli/Zova.h"
#include "common/AppPaths.h"
#include "common/ModuleDir.h"

#include <sstream>
#include <string>
#include <vector>

namespace testutil {

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

// Runs the zova command line in-process with --module-dir set to moduleDir.
inline CliResult RunCli(const std::string& moduleDir, std::vector<std::string> args) {
    args.insert(args.begin(), {"zova", "--module-dir", moduleDir});
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = RunZova(static_cast<int>(argv.size()), argv.data(), out, err);
    ModuleDir::SetOverride("");
    AppPaths::ForcePortable(false);
    return {code, out.str(), err.str()};
}

} // namespace testutil
