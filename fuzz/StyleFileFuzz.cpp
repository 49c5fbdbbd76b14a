// Feeds arbitrary bytes to the style-file reader as a .zvc file, then writes the
// style sheet of whatever loaded.
#include "common/FileOps.h"
#include "stylemaker/style/CssWriter.h"
#include "stylemaker/style/StyleSettings.h"

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
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(g_scratch, ec);
        });
    }
    return g_scratch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = std::string(Scratch()) + "/input.zvc";
    if (!FileOps::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    CStyleSettings settings;
    if (!settings.LoadFromFile(path))
        return 0;
    // Every loaded text must fit its field.
    for (const vessilo::StyleKey& key : vessilo::StyleKeys())
        if (key.textField && (settings.*key.textField).size() >= key.capacity)
            std::abort();
    const std::string tag = settings.szTagID.empty() ? std::string("fuzz") : settings.szTagID;
    if (!vessilo::WriteCss(settings, std::string(Scratch()) + "/output.css", tag))
        std::abort();
    return 0;
}
