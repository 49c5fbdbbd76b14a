#include "admanager/library/RecoveryFile.h"

#include "admanager/library/LibraryFile.h"
#include "common/AppPaths.h"
#include "common/FileOps.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

namespace RecoveryFile {

namespace {

constexpr std::string_view kSignature{"ZELVOR-RECOVERY\x01", 16};
constexpr std::size_t kMaxPath = 4096;

void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t GetU64(std::string_view in) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[static_cast<std::size_t>(i)]);
    return v;
}

// The header's length, or 0 when data does not begin with one.
std::size_t ParseHeader(std::string_view data, Header& header) {
    if (data.size() < kSignature.size() + 16 || data.substr(0, kSignature.size()) != kSignature)
        return 0;
    std::size_t at = kSignature.size();
    const std::uint64_t pathSize = GetU64(data.substr(at));
    at += 8;
    if (pathSize > kMaxPath || data.size() - at < pathSize + 8)
        return 0;
    header.libraryPath.assign(data.substr(at, pathSize));
    at += pathSize;
    header.takenAt = static_cast<std::int64_t>(GetU64(data.substr(at)));
    return at + 8;
}

} // namespace

std::string Folder() {
    const std::string dir = AppPaths::StateDir() + "recovery/";
    FileOps::MakeDirs(dir, 0700);
    return dir;
}

bool Write(const std::string& file, const Header& header, const std::function<bool(const Sink&)>& pack) {
    if (header.libraryPath.size() > kMaxPath)
        return false;
    std::string head(kSignature);
    PutU64(head, header.libraryPath.size());
    head += header.libraryPath;
    PutU64(head, static_cast<std::uint64_t>(header.takenAt));
    FileOps::AtomicWriter out;
    if (!out.Open(file, true) || !out.Write(head) ||
        !pack([&out](std::string_view piece) { return out.Write(piece); })) {
        out.Abort();
        return false;
    }
    return out.Commit();
}

bool ReadHeader(const std::string& file, Header& header) {
    FileOps::File in = FileOps::File::Open(file, FileOps::File::Mode::Read);
    std::string head;
    const long long size = in.Size();
    if (size <= 0)
        return false;
    in.ReadAt(0, static_cast<std::size_t>(std::min<long long>(size, kSignature.size() + 16 + kMaxPath)), head);
    return ParseHeader(head, header) != 0;
}

bool Decode(std::string_view data, Header& header, AdLibrary& library) {
    const std::size_t at = ParseHeader(data, header);
    return at != 0 && DecodeLibrary(library, data.substr(at));
}

std::string_view Signature() { return kSignature; }

bool Read(const std::string& file, Header& header, AdLibrary& library) {
    std::string data;
    return FileOps::ReadWholeFile(file, data) && Decode(data, header, library);
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::pair<long long, std::string>> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        const std::string_view ext(kExtension);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
                continue;
            const std::string path = folder + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                found.emplace_back(static_cast<long long>(st.st_mtime), path);
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<std::string> files;
    for (auto& [time, path] : found)
        files.push_back(std::move(path));
    return files;
}

std::string SetAside(const std::string& file) {
    const std::string target = file + kSetAsideExtension;
    return std::rename(file.c_str(), target.c_str()) == 0 ? target : std::string();
}

} // namespace RecoveryFile
