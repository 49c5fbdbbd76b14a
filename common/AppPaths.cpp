#include "common/AppPaths.h"

#include "common/FileOps.h"
#include "common/InstanceLock.h"
#include "common/ModuleDir.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace AppPaths {
namespace {

// Can a file be made in dir? Tried for real: permissions alone do not tell (root,
// read-only mounts).
bool CanCreateFileIn(const std::string& dir) {
    std::string probe = dir + ".zelvor-probe-XXXXXX";
    int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir && *pw->pw_dir == '/' ? pw->pw_dir : "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path, else its default.
std::string XdgDir(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && *value == '/')
        return value;
    return HomeDir() + fallback;
}

// A folder of this process's own, made when nothing better is safe.
std::string PrivateTempDir() {
    static const std::string dir = [] {
        std::string name = "/tmp/zelvor-XXXXXX";
        return ::mkdtemp(name.data()) ? name + "/" : std::string("/nonexistent/zelvor/");
    }();
    return dir;
}

std::string UserDir(const char* variable, const char* fallback) {
    std::string dir = XdgDir(variable, fallback) + "/zelvor";
    FileOps::MakeDirs(dir, 0700);
    // Held to the lock folder's rule: a folder someone else made or may write
    // (under /tmp when there is no home, say) never gets the settings or history.
    return InstanceLock::IsPrivateDirectory(dir) ? dir + "/" : PrivateTempDir();
}

std::mutex g_mutex;
bool g_forcePortable = false;

} // namespace

std::string ProgramDir() { return ModuleDir::Get(); }

void ForcePortable(bool force) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_forcePortable = force;
}

bool IsInstalled() {
    static std::string decidedFor;
    static bool installed = false;
    const std::string dir = ProgramDir();
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_forcePortable)
        return false;
    if (dir != decidedFor) {
        installed = FileOps::FileExists(dir + kInstalledMarker) || !CanCreateFileIn(dir);
        decidedFor = dir;
    }
    return installed;
}

std::string SettingsDir() { return IsInstalled() ? UserDir("XDG_CONFIG_HOME", "/.config") : ProgramDir(); }

std::string StateDir() {
    if (!IsInstalled())
        return ProgramDir();
    return UserDir("XDG_STATE_HOME", "/.local/state");
}

std::string PageBaseDir() {
    if (!IsInstalled())
        return ProgramDir();
    std::string dir = UserDir("XDG_CACHE_HOME", "/.cache");
    FileOps::MakeDirs(dir + "html", 0700);
    return dir;
}

} // namespace AppPaths
