// Feeds arbitrary bytes to the style-file reader as a .zvc file, then writes the
// style sheet of whatever loaded.
#include "common/FileOps.h"
#include "stylemaker/style/CssWriter.h"
#include "stylemaker/style/StyleSettings.h"

#include "fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = std::string(FuzzScratch()) + "input.zvc";
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
    if (!vessilo::WriteCss(settings, std::string(FuzzScratch()) + "output.css", tag))
        std::abort();
    return 0;
}
