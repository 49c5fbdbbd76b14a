#pragma once

#include <string>

// Where each kind of file of the programs lives; nothing else builds such paths.
// The program folder holds the programs and what they ship (pages, help, icons).
// What the programs write goes there too while the folder can be written
// (portable, as on Windows); an installed copy (a folder the user cannot write,
// or one marked as installed by the package) keeps it per user in the XDG
// folders instead. Every folder returned ends in '/'.
namespace AppPaths {

// The marker file a package puts into the program folder.
constexpr const char* kInstalledMarker = "zelvor-installed";

// The program folder (see ModuleDir).
std::string ProgramDir();

// True when writable state goes to the per-user folders. Decided once for each
// program folder.
bool IsInstalled();

// Keeps everything in the program folder whatever it is (a folder named on the
// command line holds the settings file, as it always did). false undoes it.
void ForcePortable(bool force);

// The folder of zova_af.ini: the program folder, or $XDG_CONFIG_HOME/zelvor/.
std::string SettingsDir();

// The folder of what the programs remember for the user between runs that is
// not a setting (the SSH known hosts, the record of what was published): the
// program folder, or $XDG_STATE_HOME/zelvor/.
std::string StateDir();

// The folder whose "html" folder takes the pages the programs write (preview and
// work pages): the program folder, or $XDG_CACHE_HOME/zelvor/. Per-user folders
// are created (0700) when missing.
std::string PageBaseDir();

} // namespace AppPaths
