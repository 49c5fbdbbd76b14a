#include "admanager/settings/Association.h"

#include "common/FileOps.h"
#include "common/IniProfile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>
#include <vector>

extern char** environ;

namespace Association {
namespace {

// The display name of the file type.
const char* const kTypeName = "Zelvor管理 データファイル";

std::string MimePackage() { return DataHome() + "/mime/packages/" + kProgId + ".xml"; }
// The document icon, under the name desktops derive from the MIME type.
std::string DocumentIconName() {
    std::string name = kMimeType;
    for (char& c : name)
        if (c == '/')
            c = '-';
    return name;
}
std::string DocumentIcon() { return DataHome() + "/icons/hicolor/scalable/mimetypes/" + DocumentIconName() + ".svg"; }
std::string DesktopEntry() { return DataHome() + "/applications/" + kProgId + ".desktop"; }
std::string DefaultsList() { return DataHome() + "/applications/mimeapps.list"; }

bool WriteFile(const std::string& path, const std::string& text) {
    return FileOps::MakeDirs(FileOps::DirName(path), 0755) && FileOps::ReplaceFileAtomic(path, text);
}

// Runs a program found on the PATH with its output discarded; true when it exits with 0.
bool Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Desktops read the MIME and desktop-entry caches, not the files we write: rebuild
// them. Without the MIME cache no file manager knows the type, so that one counts.
bool RebuildCaches() {
    FileOps::MakeDirs(DataHome() + "/mime/packages", 0755);
    bool mime = Run({"update-mime-database", DataHome() + "/mime"});
    Run({"update-desktop-database", DataHome() + "/applications"});
    Run({"gtk-update-icon-cache", "-q", "-t", "-f", DataHome() + "/icons/hicolor"});
    return mime;
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

namespace {

// The folders of a colon-separated list such as PATH, empty ones left out.
std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start)
            out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The MIME package at path claims *.zva under exactly our type.
bool ClaimsZva(const std::string& path) {
    std::string xml;
    return FileOps::ReadWholeFile(path, xml) &&
           xml.find(std::string("<mime-type type=\"") + kMimeType + "\">") != std::string::npos &&
           xml.find("<glob pattern=\"*.zva\"/>") != std::string::npos;
}

// The program a desktop entry's Exec line starts, found as the desktop would: an
// absolute path as it stands, a bare name on the PATH; links resolved.
std::string ExecProgram(std::string exec) {
    if (!exec.empty() && exec[0] == '"')
        exec = exec.substr(1, exec.find('"', 1) - 1);
    else
        exec = exec.substr(0, exec.find(' '));
    if (exec.empty())
        return {};
    std::vector<std::string> candidates;
    if (exec.find('/') != std::string::npos) {
        candidates.push_back(exec);
    } else {
        const char* path = std::getenv("PATH");
        for (const std::string& dir : SplitList(path ? path : "/usr/local/bin:/usr/bin:/bin"))
            candidates.push_back(dir + "/" + exec);
    }
    for (const std::string& candidate : candidates)
        if (char* real = ::realpath(candidate.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    return {};
}

// The package's registration in the system data folders: its MIME package and a
// desktop entry that starts this program folder's zova_af.
bool SystemAssociated(const std::string& moduleDir) {
    char* real = ::realpath((moduleDir + "zova_af").c_str(), nullptr);
    if (!real)
        return false;
    const std::string program = real;
    std::free(real);
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    for (const std::string& dir : SplitList(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share")) {
        if (!ClaimsZva(dir + "/mime/packages/" + kPackageName + ".xml"))
            continue;
        IniDocument entry;
        std::string exec, types;
        if (entry.Load(dir + "/applications/" + kPackageName + ".zova_af.desktop") &&
            entry.Find("Desktop Entry", "Exec", exec) && entry.Find("Desktop Entry", "MimeType", types) &&
            types.find(kMimeType) != std::string::npos && ExecProgram(exec) == program)
            return true;
    }
    return false;
}

} // namespace

bool IsAssociated(const std::string& moduleDir) {
    if (SystemAssociated(moduleDir))
        return true;
    if (!ClaimsZva(MimePackage()))
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
                      kMimeType + "\">\n    <comment>" + kTypeName + "</comment>\n    <icon name=\"" +
                      DocumentIconName() + "\"/>\n    <glob pattern=\"*.zva\"/>\n  </mime-type>\n</mime-info>\n";
    if (!WriteFile(MimePackage(), xml))
        return false;
    // The document icon ships beside the program; a missing one is no reason to fail.
    std::string icon;
    if (FileOps::ReadWholeFile(moduleDir + "zva_document.svg", icon))
        WriteFile(DocumentIcon(), icon);
    // Desktop entries are UTF-8, as is the program folder's path on this system.
    std::string entry = std::string("[Desktop Entry]\nType=Application\nName=") + kTypeName +
                        "\nIcon=" + moduleDir + "zova_af.svg\nExec=" + CommandPrefix(moduleDir) +
                        " %f\nMimeType=" + kMimeType + ";\nNoDisplay=true\n";
    if (!WriteFile(DesktopEntry(), entry))
        return false;
    IniDocument defaults;
    defaults.Load(DefaultsList());
    defaults.SetString("Default Applications", kMimeType, std::string(kProgId) + ".desktop");
    return FileOps::MakeDirs(FileOps::DirName(DefaultsList()), 0755) && defaults.Save(DefaultsList()) && RebuildCaches();
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
    if (FileOps::FileExists(DocumentIcon()))
        FileOps::RemoveFileRetry(DocumentIcon());
    RebuildCaches();
    return ok;
}

} // namespace Association
