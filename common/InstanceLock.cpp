#include "common/InstanceLock.h"

#include "common/FileOps.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FromEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : std::string();
}

} // namespace

InstanceLock::~InstanceLock() { Release(); }

bool InstanceLock::IsPrivateDirectory(const std::string& dir) {
    struct stat st {};
    if (dir.empty() || ::lstat(dir.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string InstanceLock::LockDirectory() {
    const std::string runtime = FromEnv("XDG_RUNTIME_DIR");
    if (IsPrivateDirectory(runtime))
        return runtime;
    // No usable runtime folder: the user's cache folder, never a shared one that
    // another user could create first or point elsewhere.
    std::string cache = FromEnv("XDG_CACHE_HOME");
    if (cache.empty() && !FromEnv("HOME").empty())
        cache = FromEnv("HOME") + "/.cache";
    if (cache.empty())
        return {};
    const std::string dir = cache + "/zelvor";
    FileOps::MakeDirs(dir, 0700);
    return IsPrivateDirectory(dir) ? dir : std::string();
}

InstanceLock::Result InstanceLock::Acquire(const std::string& name) {
    Release();
    const std::string dir = LockDirectory();
    if (dir.empty())
        return Result::Failed;
    std::string path = dir + "/" + name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::AlreadyHeld : Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

void InstanceLock::Release() {
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}
