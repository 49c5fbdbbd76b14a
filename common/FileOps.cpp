#include "common/FileOps.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace FileOps {

File::~File() {
    if (m_fd >= 0)
        ::close(m_fd);
}

File::File(File&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

File File::Open(const std::string& path, Mode mode) {
    int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (mode == Mode::Read) {
                struct stat st {};
                if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
                    ::close(fd);
                    return File();
                }
            }
            return File(fd);
        }
        // Only a transient failure is worth another try.
        if (errno != EINTR && errno != EAGAIN && errno != EBUSY && errno != ETXTBSY && errno != EMFILE &&
            errno != ENFILE)
            break;
    }
    return File();
}

bool File::WriteAll(std::string_view data) {
    if (m_fd < 0)
        return false;
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool File::ReadRest(std::string& out) {
    if (m_fd < 0)
        return false;
    // Read straight into the text: the size is known for regular files, and the
    // loop below still copes with files that grow or report no size.
    std::size_t used = out.size();
    long long size = Size();
    out.resize(used + (size > 0 ? static_cast<std::size_t>(size) : 0) + 1);
    for (;;) {
        if (used == out.size())
            out.resize(out.size() + 65536);
        ssize_t n = ::read(m_fd, out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.resize(used);
            return false;
        }
        if (n == 0) {
            out.resize(used);
            return true;
        }
        used += static_cast<std::size_t>(n);
    }
}

bool File::ReadAt(long long offset, std::size_t size, std::string& out) {
    out.resize(size);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(m_fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long long File::Size() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool File::Close() {
    if (m_fd < 0)
        return false;
    int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    File f = File::Open(path, File::Mode::Read);
    if (!f.IsOpen())
        return false;
    bool ok = f.ReadRest(out);
    f.Close();
    return ok;
}

bool WriteWholeFile(const std::string& path, std::string_view data) {
    File f = File::Open(path, File::Mode::CreateTruncate);
    if (!f.IsOpen())
        return false;
    bool ok = f.WriteAll(data);
    return f.Close() && ok;
}

AtomicWriter::~AtomicWriter() { Abort(); }

namespace {

std::mutex g_noticeMutex;
std::function<void(const std::string&)> g_notice;

// Said once per file and process: a private file that others could read.
void TellWidened(const std::string& path) {
    static std::set<std::string> told;
    std::function<void(const std::string&)> notice;
    {
        std::lock_guard lock(g_noticeMutex);
        if (!g_notice || !told.insert(path).second)
            return;
        notice = g_notice;
    }
    notice(path);
}

} // namespace

void SetPrivateFileNotice(std::function<void(const std::string& path)> notice) {
    std::lock_guard lock(g_noticeMutex);
    g_notice = std::move(notice);
}

bool AtomicWriter::Open(const std::string& requested, bool privateFile) {
    Abort();
    m_failed = false;
    if (requested.empty() || IsDirectory(requested))
        return false;
    // Written through a symbolic link: the link stays and its target (in a
    // synced folder, say) is the file replaced, beside itself.
    std::string target = requested;
    struct stat link {};
    if (::lstat(requested.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::error_code ec;
        std::filesystem::path resolved = std::filesystem::weakly_canonical(requested, ec);
        if (ec || resolved.empty())
            return false;
        target = resolved.string();
        if (IsDirectory(target))
            return false;
    }
    // The rename would also succeed over a file the user made read-only.
    if (FileExists(target) && ::access(target.c_str(), W_OK) != 0)
        return false;
    m_target = target;
    static std::atomic<unsigned> sequence{0};
    // Created exclusively with the usual permissions so the replaced file keeps
    // the mode a plain create would give it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".tmp%d_%u", static_cast<int>(::getpid()), sequence++);
        std::string temp = target + suffix;
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateFile ? 0600 : 0666);
        if (fd >= 0) {
            struct stat st {};
            const bool existed = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            if (privateFile) {
                // The user's own bits as they were (a read-only copy stays so);
                // nobody else's.
                const mode_t mode = existed ? (st.st_mode & 0600) : 0600;
                ::fchmod(fd, mode);
                if (existed && (st.st_mode & 077) != 0)
                    TellWidened(target);
            } else if (existed) {
                ::fchmod(fd, st.st_mode & 07777);
            }
            m_fd = fd;
            m_temp = temp;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool AtomicWriter::Write(std::string_view data) {
    if (m_fd < 0 || m_failed)
        return false;
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicWriter::Commit() {
    if (m_fd < 0)
        return false;
    bool ok = !m_failed && ::fdatasync(m_fd) == 0;
    ok = (::close(m_fd) == 0) && ok;
    m_fd = -1;
    if (ok && ::rename(m_temp.c_str(), m_target.c_str()) == 0) {
        m_temp.clear();
        // The rename lives in the folder: without this a power cut may undo it.
        int dir = ::open(DirName(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }
    Abort();
    return false;
}

void AtomicWriter::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool ReplaceFileAtomic(const std::string& path, std::string_view data, bool privateFile) {
    AtomicWriter w;
    return w.Open(path, privateFile) && w.Write(data) && w.Commit();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool RemoveFileRetry(const std::string& path) {
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT)
            return true;
        if (errno != EINTR && errno != EBUSY)
            return false;
    }
    return false;
}

bool MakeDirRetry(const std::string& path) {
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if (::mkdir(path.c_str(), 0777) == 0)
            return true;
        if (errno != EINTR && errno != EBUSY)
            return false;
    }
    return false;
}

bool MakeDirs(const std::string& dir, unsigned mode) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos)
        if (pos == dir.size() || dir[pos] == '/')
            ::mkdir(dir.substr(0, pos).c_str(), static_cast<mode_t>(mode));
    return IsDirectory(dir);
}

bool RemoveDirRetry(const std::string& dir) {
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                ::unlink(path.c_str());
        }
        ::closedir(d);
    }
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if (::rmdir(dir.c_str()) == 0 || errno == ENOENT)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string DirName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace FileOps
