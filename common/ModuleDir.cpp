#include "common/ModuleDir.h"

#include <climits>
#include <mutex>
#include <unistd.h>

namespace ModuleDir {
namespace {

std::mutex g_mutex;
std::string g_override;

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir.push_back('/');
    return dir;
}

std::string ExecutableDir() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return "./";
    std::string path(buffer, static_cast<std::size_t>(n));
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace

std::string Get() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_override.empty())
            return g_override;
    }
    static const std::string dir = ExecutableDir();
    return dir;
}

void SetOverride(const std::string& dir) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = dir.empty() ? std::string() : WithSlash(dir);
}

} // namespace ModuleDir
