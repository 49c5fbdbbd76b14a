// Feeds arbitrary bytes to the library reader as a .zva file.
#include "admanager/library/LibraryFile.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Kept in a plain array: the exit handler runs after static strings are gone.
char g_scratch[4096];

const char* Scratch() {
    if (!g_scratch[0]) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zova_fuzz_XXXXXX").string();
        if (!::mkdtemp(tmpl.data()) || tmpl.size() >= sizeof g_scratch)
            std::abort();
        tmpl.copy(g_scratch, tmpl.size());
        ModuleDir::SetOverride(g_scratch);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(g_scratch, ec);
        });
    }
    return g_scratch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = std::string(Scratch()) + "/input.zva";
    if (!FileOps::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    AdLibrary lib;
    if (LoadLibrary(lib, path)) {
        // Whatever loaded must save again.
        if (!SaveLibrary(lib, std::string(Scratch()) + "/output.zva"))
            std::abort();
    }
    return 0;
}
