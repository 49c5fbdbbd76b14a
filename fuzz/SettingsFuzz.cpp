// Feeds arbitrary bytes to the settings readers as zova_af.ini; whatever they
// read must save and read back the same.
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "common/FileOps.h"
#include "common/IniProfile.h"

#include "fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string module = FuzzScratch();
    const std::string path = SettingsFile::PathIn(module);
    if (!FileOps::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    AppSettings settings;
    AspList asp;
    FtpHostList ftp;
    if (!LoadSettings(settings, module) || !LoadAspList(asp, module) || !LoadFtpHostList(ftp, module))
        std::abort();
    // The three sections go into one write: each save is a synced replace, and
    // three of them per input would leave little time for fuzzing.
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        std::abort();
    StoreSettings(doc, settings);
    StoreAspList(doc, asp);
    StoreFtpHostList(doc, ftp);
    if (!doc.Save(path))
        std::abort();
    AppSettings settings2;
    AspList asp2;
    FtpHostList ftp2;
    if (!LoadSettings(settings2, module) || !LoadAspList(asp2, module) || !LoadFtpHostList(ftp2, module))
        std::abort();
    if (!(settings2 == settings) || !(asp2 == asp) || !(ftp2 == ftp))
        std::abort();
    return 0;
}
