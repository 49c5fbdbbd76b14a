#include "admanager/settings/Association.h"

#include "common/FileOps.h"
#include "common/IniProfile.h"

#include <cstdlib>
#include <sys/stat.h>

namespace Association {
namespace {

// The display name of the file type.
const char* const kTypeName = "Zelvor管理 データファイル";

std::string MimePackage() { return DataHome() + "/mime/packages/" + kProgId + ".xml"; }
std::string DesktopEntry() { return DataHome() + "/applications/" + kProgId + ".desktop"; }
std::string DefaultsList() { return DataHome() + "/applications/mimeapps.list"; }

bool MakeDirs(const std::string& dir) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') {
            std::string part = dir.substr(0, pos);
            if (!FileOps::IsDirectory(part) && ::mkdir(part.c_str(), 0755) != 0)
                return false;
        }
    }
    return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
    return MakeDirs(FileOps::DirName(path)) && FileOps::ReplaceFileAtomic(path, text);
}

std::string CommandPrefix(const std::string& moduleDir) { return "\"" + moduleDir + "zova_af\""; }

// Paths here are UTF-8: only ASCII letters fold.
bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(text[i]) != fold(prefix[i]))
            return false;
    }
    return true;
}

} // namespace

std::string DataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data)
        return data;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share";
}

bool IsAssociated(const std::string& moduleDir) {
    std::string xml;
    if (!FileOps::ReadWholeFile(MimePackage(), xml))
        return false;
    // The type must claim *.zva under exactly our name.
    if (xml.find(std::string("<mime-type type=\"") + kMimeType + "\">") == std::string::npos ||
        xml.find("<glob pattern=\"*.zva\"/>") == std::string::npos)
        return false;
    IniDocument entry;
    if (!entry.Load(DesktopEntry()))
        return false;
    std::string exec;
    return entry.Find("Desktop Entry", "Exec", exec) && StartsWithNoCase(exec, CommandPrefix(moduleDir));
}

bool Associate(const std::string& moduleDir) {
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                                  "  <mime-type type=\"") +
                      kMimeType + "\">\n    <comment>" + kTypeName +
                      "</comment>\n    <glob pattern=\"*.zva\"/>\n  </mime-type>\n</mime-info>\n";
    if (!WriteFile(MimePackage(), xml))
        return false;
    // Desktop entries are UTF-8, as is the program folder's path on this system.
    std::string entry = std::string("[Desktop Entry]\nType=Application\nName=") + kTypeName +
                        "\nIcon=" + moduleDir + "zova_af.svg\nExec=" + CommandPrefix(moduleDir) +
                        " %f\nMimeType=" + kMimeType + ";\nNoDisplay=true\n";
    if (!WriteFile(DesktopEntry(), entry))
        return false;
    IniDocument defaults;
    defaults.Load(DefaultsList());
    defaults.SetString("Default Applications", kMimeType, std::string(kProgId) + ".desktop");
    return MakeDirs(FileOps::DirName(DefaultsList())) && defaults.Save(DefaultsList());
}

bool Unassociate() {
    bool ok = true;
    if (FileOps::FileExists(DefaultsList())) {
        IniDocument defaults;
        std::string value;
        if (defaults.Load(DefaultsList()) && defaults.Find("Default Applications", kMimeType, value)) {
            defaults.DeleteKey("Default Applications", kMimeType);
            ok = defaults.Save(DefaultsList()) && ok;
        }
    }
    ok = (FileOps::FileExists(DesktopEntry()) && FileOps::RemoveFileRetry(DesktopEntry())) && ok;
    ok = (FileOps::FileExists(MimePackage()) && FileOps::RemoveFileRetry(MimePackage())) && ok;
    return ok;
}

} // namespace Association
