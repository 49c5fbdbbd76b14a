#pragma once

#include <string>

// The .zva file association on a freedesktop desktop: a MIME type for *.zva and
// a desktop entry whose Exec line names this program folder's zova_af, both
// under $XDG_DATA_HOME (default ~/.local/share).
namespace Association {

constexpr const char* kMimeType = "application/x-zova-af";
constexpr const char* kProgId = "Zova.AffiliateManage";
// The package's own registration: <data dir>/mime/packages/jp.zelvor.xml and
// <data dir>/applications/jp.zelvor.zova_af.desktop.
constexpr const char* kPackageName = "jp.zelvor";

// The data folder everything is written below.
std::string DataHome();

// True when *.zva maps to our MIME type and our desktop entry's Exec line starts
// (letter case ignored) with the quoted zova_af of moduleDir; or when an installed
// package registered the type for the system with an entry that starts this
// program folder's zova_af.
bool IsAssociated(const std::string& moduleDir);
// Writes the MIME type, the desktop entry and the default-application entry, in
// that order; stops at the first failure.
bool Associate(const std::string& moduleDir);
// Removes them; true only when every piece was there to remove.
bool Unassociate();

} // namespace Association
