#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// File access with the retry and verification rules the programs share: opens
// are tried up to five times, every write is checked for its full length, and
// files that users keep are replaced atomically.
namespace FileOps {

constexpr int kRetries = 5;

class File {
public:
    enum class Mode { Read, CreateTruncate };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path, trying up to kRetries times.
    static File Open(const std::string& path, Mode mode);

    bool IsOpen() const { return m_fd >= 0; }
    // Writes all of data; false when fewer bytes were written.
    bool WriteAll(std::string_view data);
    // Reads from the current position to the end of the file.
    bool ReadRest(std::string& out);
    // Reads exactly size bytes at offset.
    bool ReadAt(long long offset, std::size_t size, std::string& out);
    // Size of the open file, or -1.
    long long Size() const;
    int Descriptor() const { return m_fd; }
    // Closes the file; false when the system reports the close failed (data may
    // not have reached the disk). A failed close is not retried: the descriptor
    // is released either way on this system.
    bool Close();

private:
    explicit File(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes a file in place (create or truncate), verified.
bool WriteWholeFile(const std::string& path, std::string_view data);

// Writes to a temporary file beside the target and renames it over the target
// only once everything was written, so a failure leaves the old file as it was.
class AtomicWriter {
public:
    AtomicWriter() = default;
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // A new file gets the usual mode and a replaced one keeps its own;
    // privateFile (files that hold secrets or history) gives 0600, or keeps the
    // user's own bits of an existing file and drops everyone else's.
    bool Open(const std::string& target, bool privateFile = false);
    bool Write(std::string_view data);
    // Flushes, closes and renames over the target. False if anything failed so far.
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Abort();

private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    bool m_failed = false;
};

// Convenience: an atomic replace of a whole file.
// privateFile: readable by the user alone (0600, or narrower as it was).
bool ReplaceFileAtomic(const std::string& path, std::string_view data, bool privateFile = false);

// Called (once per file and process) when a private file that others could
// read or write was made the user's alone, so the program can say so.
void SetPrivateFileNotice(std::function<void(const std::string& path)> notice);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Size of a regular file, or -1.
long long FileSize(const std::string& path);

// Deletes a file, trying up to kRetries times. A missing file counts as deleted.
bool RemoveFileRetry(const std::string& path);
// Creates a directory, trying up to kRetries times.
bool MakeDirRetry(const std::string& path);
// Creates dir and any missing folders above it with mode; true when dir is a
// folder afterwards. Existing folders are left as they are.
bool MakeDirs(const std::string& dir, unsigned mode);
// Removes every regular file directly inside dir (subdirectories are skipped),
// then the directory itself, retrying up to kRetries times with a 100 ms pause.
bool RemoveDirRetry(const std::string& dir);

// The directory part of a path ("." when there is none), without a trailing '/'.
std::string DirName(const std::string& path);
// The last component of a path.
std::string BaseName(const std::string& path);

} // namespace FileOps
