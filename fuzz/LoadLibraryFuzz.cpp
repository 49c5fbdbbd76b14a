// Feeds arbitrary bytes to the library reader as a .zva file.
#include "admanager/library/LibraryFile.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include "fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

// The work directories of loads and saves go to the scratch folder.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ModuleDir::SetOverride(FuzzScratch());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = std::string(FuzzScratch()) + "input.zva";
    if (!FileOps::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    AdLibrary lib;
    if (LoadLibrary(lib, path)) {
        // Whatever loaded must save again.
        if (!SaveLibrary(lib, std::string(FuzzScratch()) + "output.zva"))
            std::abort();
    }
    return 0;
}
