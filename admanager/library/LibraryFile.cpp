#include "admanager/library/LibraryFile.h"

#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

using namespace LibraryFormat;

namespace {

// ---------------------------------------------------------------- writing

void PutInt(std::string& out, std::int32_t v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    char b[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
                 static_cast<char>((u >> 24) & 0xFF)};
    out.append(b, 4);
}

void PutByte(std::string& out, std::int32_t v) { out.push_back(static_cast<char>(v & 0xFF)); }

void PutString(std::string& out, const std::string& s) {
    PutInt(out, static_cast<std::int32_t>(s.size()));
    out.append(s);
}

void PutFixed(std::string& out, std::string_view s, std::size_t n) {
    std::size_t len = std::min(s.size(), n);
    out.append(s.data(), len);
    out.append(n - len, '\0');
}

std::size_t EncodedSize(const LibraryNode& node) {
    std::size_t n = 200 + node.title.size() + node.comment.size() + node.outputPath.size() + node.remoteFile.size() +
                    node.styleSheet.size() + node.tagClass.size() + node.ftpHost.size() +
                    node.children.size() * kChildIdSize;
    for (const auto& b : node.banners)
        n += 40 + b->asp.size() + b->advertiser.size() + b->name.size() + b->comment.size() + b->tag.size();
    return n;
}

// ---------------------------------------------------------------- reading

// Reads little-endian fields from a node file held in memory. Every length is
// checked against what remains before anything is taken.
class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}

    std::size_t Remaining() const { return m_data.size() - m_pos; }
    void SkipToEnd() { m_pos = m_data.size(); }

    bool Bytes(std::size_t n, std::string_view& out) {
        if (n > Remaining()) {
            SkipToEnd();
            return false;
        }
        out = m_data.substr(m_pos, n);
        m_pos += n;
        return true;
    }

    // Takes up to n bytes, whatever is left.
    std::string_view Partial(std::size_t n) {
        n = std::min(n, Remaining());
        std::string_view out = m_data.substr(m_pos, n);
        m_pos += n;
        return out;
    }

    bool Int(std::int32_t& v) {
        std::string_view b;
        if (!Bytes(4, b))
            return false;
        std::uint32_t u = static_cast<unsigned char>(b[0]) | (static_cast<unsigned char>(b[1]) << 8) |
                          (static_cast<unsigned char>(b[2]) << 16) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(b[3])) << 24);
        v = static_cast<std::int32_t>(u);
        return true;
    }

    bool Byte(std::int32_t& v) {
        std::string_view b;
        if (!Bytes(1, b))
            return false;
        v = static_cast<unsigned char>(b[0]);
        return true;
    }

    bool String(std::string& out, std::size_t kept) {
        std::int32_t len = 0;
        if (!Int(len))
            return false;
        std::string_view b;
        if (!Bytes(static_cast<std::uint32_t>(len), b))
            return false;
        out = Cp932::Kept(b, kept);
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

std::uint32_t GetU32(std::string_view data, std::size_t pos) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string FixedText(std::string_view bytes) {
    std::size_t nul = bytes.find('\0');
    return std::string(nul == std::string_view::npos ? bytes : bytes.substr(0, nul));
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

std::string NodePath(const std::string& workDir, const std::string& id) { return workDir + "/" + id + ".dat"; }

struct ReadContext {
    std::string workDir;
    std::unordered_set<std::string> seen;
};

void MarkReadError(LibraryNode& node) {
    node.flags = kReadErrorFlags;
    node.children.clear();
    node.banners.clear();
}

bool ReadBanner(Reader& r, Banner& b, bool old) {
    if (!r.String(b.asp, Kept::kBannerText))
        return false;
    if (!old && !r.String(b.advertiser, Kept::kBannerText))
        return false;
    return r.String(b.name, Kept::kBannerText) && r.Int(b.cpm) && r.Int(b.cpc) && r.Int(b.fixedRate) &&
           r.Int(b.fixedFee) && r.String(b.comment, Kept::kBannerLong) && r.String(b.tag, Kept::kBannerLong);
}

// Steps 2-5 of reading a node: false is a read error of the node itself.
bool ParseNode(std::string_view data, LibraryNode& node) {
    Reader r(data);
    std::string_view sig;
    if (!r.Bytes(kNodeSignature.size(), sig))
        return false;
    bool old;
    if (sig == kOldNodeSignature)
        old = true;
    else if (sig == kNodeSignature)
        old = false;
    else
        return false;

    std::string_view idBytes;
    if (!r.Bytes(kNodeIdSize, idBytes) || FixedText(idBytes) != node.id)
        return false;

    bool ok = r.String(node.title, Kept::kTitle) && r.String(node.comment, Kept::kComment) &&
              r.String(node.outputPath, Kept::kPath);
    if (ok && !old)
        ok = r.Byte(node.ftpUpload) && r.String(node.remoteFile, Kept::kPath);
    ok = ok && r.String(node.styleSheet, Kept::kPath) && r.String(node.tagClass, Kept::kPath) &&
         r.Int(node.columnIndex);
    if (ok && !old)
        ok = r.Byte(node.rowLimit) && r.Int(node.rowCount) && r.Int(node.multiPage);
    ok = ok && r.Int(node.layout[0]) && r.Int(node.layout[1]) && r.Int(node.layout[2]);
    if (ok && !old)
        ok = r.String(node.ftpHost, Kept::kPath);
    std::int32_t count = 0;
    ok = ok && r.Int(node.flags) && r.Int(count);
    if (!ok)
        return false;
    if (count < 0)
        count = 0;

    if (node.flags & NODE_AD_ITEM) {
        // A truncated file may lose its last record, which then shows as a read
        // error; a count far beyond the file is damage, not truncation.
        const std::size_t minRecord = old ? 36 : 40;
        if (static_cast<std::size_t>(count) > r.Remaining() / minRecord + 1)
            return false;
        node.banners.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            auto banner = std::make_unique<Banner>();
            if (!ReadBanner(r, *banner, old))
                banner->name = LibraryTexts::ReadError();
            node.banners.push_back(std::move(banner));
        }
    } else {
        if (static_cast<std::size_t>(count) > r.Remaining() / kChildIdSize + 1)
            return false;
        node.children.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            auto child = std::make_unique<LibraryNode>();
            std::string_view idRead = r.Partial(kChildIdSize);
            child->id = FixedText(idRead);
            if (idRead.size() < kChildIdSize)
                child->title = LibraryTexts::ReadError();
            node.children.push_back(std::move(child));
        }
    }
    return true;
}

bool ReadNodeRecursive(LibraryNode& node, ReadContext& ctx, int depth, bool asFolder = false) {
    std::string data;
    if (depth > kMaxDepth || !FileOps::ReadWholeFile(NodePath(ctx.workDir, node.id), data)) {
        node.title = LibraryTexts::ReadError();
        MarkReadError(node);
        return false;
    }
    if (!ParseNode(data, node)) {
        MarkReadError(node);
        return false;
    }
    if ((node.flags & NODE_FOLDER) || asFolder) {
        for (auto& child : node.children) {
            // An identifier that cannot name a file, or one met before (a cycle or
            // a duplicate), would read the wrong file or overwrite another node's
            // file on the next save: such a child gets a fresh identifier and
            // shows as a read error.
            if (!IsSafeNodeId(child->id) || !ctx.seen.insert(child->id).second) {
                child->id = MakeNodeId();
                ctx.seen.insert(child->id);
                child->title = LibraryTexts::ReadError();
                MarkReadError(*child);
                continue;
            }
            ReadNodeRecursive(*child, ctx, depth + 1);
        }
    }
    return true;
}

unsigned TempNameSeed() {
    return static_cast<unsigned>(std::time(nullptr)) ^ (static_cast<unsigned>(::getpid()) << 4);
}

} // namespace

// ---------------------------------------------------------------- node files

std::string EncodeNodeFile(const LibraryNode& node) {
    std::string out;
    out.reserve(EncodedSize(node));
    out.append(kNodeSignature);
    PutFixed(out, node.id, kNodeIdSize);
    PutString(out, node.title);
    PutString(out, node.comment);
    PutString(out, node.outputPath);
    PutByte(out, node.ftpUpload);
    PutString(out, node.remoteFile);
    PutString(out, node.styleSheet);
    PutString(out, node.tagClass);
    PutInt(out, node.columnIndex);
    PutByte(out, node.rowLimit);
    PutInt(out, node.rowCount);
    PutInt(out, node.multiPage);
    for (int i = 0; i < 3; ++i)
        PutInt(out, node.layout[i]);
    PutString(out, node.ftpHost);
    PutInt(out, node.flags);
    if (node.IsAdItem()) {
        PutInt(out, CountLiveBanners(node));
        for (const auto& b : node.banners) {
            if (!b->IsLive())
                continue;
            PutString(out, b->asp);
            PutString(out, b->advertiser);
            PutString(out, b->name);
            PutInt(out, b->cpm);
            PutInt(out, b->cpc);
            PutInt(out, b->fixedRate);
            PutInt(out, b->fixedFee);
            PutString(out, b->comment);
            PutString(out, b->tag);
        }
    } else {
        PutInt(out, CountLiveChildren(node));
        for (const auto& child : node.children)
            if (!child->IsDeleted())
                PutFixed(out, child->id, kChildIdSize);
    }
    return out;
}

bool WriteNode(const LibraryNode& node, const std::string& workDir) {
    // An identifier that is not a plain short name would write outside the work
    // directory or collide after the container cuts its name.
    if (!IsSafeNodeId(node.id))
        return false;
    FileOps::File f = FileOps::File::Open(NodePath(workDir, node.id), FileOps::File::Mode::CreateTruncate);
    if (!f.IsOpen())
        return false;
    bool ok = f.WriteAll(EncodeNodeFile(node));
    ok = f.Close() && ok;
    if (!ok)
        return false;
    if (node.IsFolder()) {
        for (const auto& child : node.children) {
            if (!child->IsDeleted() && !WriteNode(*child, workDir))
                return false;
        }
    }
    return true;
}

namespace {

bool ReadTree(LibraryNode& node, const std::string& workDir, bool asFolder) {
    ReadContext ctx;
    ctx.workDir = workDir;
    ctx.seen.insert(node.id);
    return ReadNodeRecursive(node, ctx, 0, asFolder);
}

} // namespace

bool ReadNode(LibraryNode& node, const std::string& workDir) { return ReadTree(node, workDir, false); }

// ---------------------------------------------------------------- container

bool PackDirectory(const std::string& target, const std::string& workDir) {
    if (target.empty())
        return false;

    struct Entry {
        std::string name;
        FileOps::File file;
        std::size_t size = 0;
    };
    std::vector<Entry> entries;
    DIR* dir = ::opendir(workDir.c_str());
    if (!dir)
        return false;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".dat") != 0)
            continue;
        if (FileOps::IsDirectory(workDir + "/" + name))
            continue;
        entries.push_back({name, {}, 0});
    }
    ::closedir(dir);
    // The same library always packs to the same bytes.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

    // Every node file is opened and sized before the target is touched.
    for (auto& entry : entries) {
        entry.file = FileOps::File::Open(workDir + "/" + entry.name, FileOps::File::Mode::Read);
        long long size = entry.file.Size();
        if (size < 0 || size > 0x7FFFFFFF)
            return false;
        entry.size = static_cast<std::size_t>(size);
    }

    std::string head;
    head.reserve(kHeaderSize + kEntrySize * entries.size());
    head.append(kContainerSignature);
    PutInt(head, 1);
    PutInt(head, static_cast<std::int32_t>(entries.size()));
    std::uint32_t before = 0;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        std::uint32_t position = static_cast<std::uint32_t>(kHeaderSize + kEntrySize * j) + before;
        PutInt(head, static_cast<std::int32_t>(position));
        PutInt(head, static_cast<std::int32_t>(entries[j].size));
        PutFixed(head, std::string_view(entries[j].name).substr(0, Cp932::CutLength(entries[j].name, 31)),
                 kEntryNameSize);
        before += static_cast<std::uint32_t>(entries[j].size);
    }

    FileOps::AtomicWriter out;
    if (!out.Open(target) || !out.Write(head))
        return false;
    for (auto& entry : entries)
        if (!out.Append(entry.file, 0, entry.size))
            return false;
    return out.Commit();
}

bool UnpackContainer(const std::string& source, const std::string& workDir) {
    FileOps::File in = FileOps::File::Open(source, FileOps::File::Mode::Read);
    long long fileSize = in.Size();
    std::string head;
    if (fileSize < static_cast<long long>(kHeaderSize) || !in.ReadAt(0, kHeaderSize, head) ||
        std::string_view(head).substr(0, 16) != kContainerSignature)
        return false;
    const std::size_t size = static_cast<std::size_t>(fileSize);
    std::int32_t count = static_cast<std::int32_t>(GetU32(head, 20));
    if (count < 0 || static_cast<std::uint64_t>(count) > (size - kHeaderSize) / kEntrySize)
        return false;
    std::string table;
    if (!in.ReadAt(kHeaderSize, kEntrySize * static_cast<std::size_t>(count), table))
        return false;

    struct Entry {
        std::string name;
        std::size_t offset;
        std::size_t size;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    std::size_t pos = kHeaderSize + table.size();
    for (std::int32_t j = 0; j < count; ++j) {
        std::size_t at = kEntrySize * static_cast<std::size_t>(j);
        std::size_t entrySize = GetU32(table, at + 4);
        std::string name = FixedText(std::string_view(table).substr(at + 8, kEntryNameSize));
        // Names come from the file: only plain names, created inside the work
        // directory and nowhere else.
        if (!IsPlainName(name) || entrySize > size - pos)
            return false;
        entries.push_back({std::move(name), pos, entrySize});
        pos += entrySize;
    }

    for (const auto& entry : entries) {
        FileOps::File out = FileOps::File::Open(workDir + "/" + entry.name, FileOps::File::Mode::CreateTruncate);
        if (!out.IsOpen() || !FileOps::CopyRange(in.Descriptor(), static_cast<long long>(entry.offset), entry.size,
                                                 out.Descriptor()))
            return false;
        if (!out.Close())
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- work directory

std::string MakeWorkDirectory() {
    std::string base = ModuleDir::Get();
    static unsigned next = TempNameSeed();
    for (int attempt = 0; attempt < FileOps::kRetries; ++attempt) {
        // Like the temporary-file-name service: claim a unique "zvaXXXX.tmp" by
        // creating the file, then swap it for a directory of the same name.
        std::string name;
        bool claimed = false;
        for (int tries = 0; tries < 0x10000 && !claimed; ++tries) {
            unsigned value = (next++ & 0xFFFF);
            if (value == 0)
                continue;
            char buf[32];
            std::snprintf(buf, sizeof buf, "zva%X.tmp", value);
            name = base + buf;
            int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                ::close(fd);
                claimed = true;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (!claimed)
            continue;
        if (!FileOps::RemoveFileRetry(name))
            continue;
        if (FileOps::MakeDirRetry(name))
            return name;
    }
    return {};
}

void RemoveWorkDirectory(const std::string& dir) {
    if (!dir.empty())
        FileOps::RemoveDirRetry(dir);
}

// ---------------------------------------------------------------- library

bool SaveLibrary(const AdLibrary& library, const std::string& path) {
    std::string work = MakeWorkDirectory();
    if (work.empty())
        return false;
    bool ok = WriteNode(library.root, work) && PackDirectory(path, work);
    RemoveWorkDirectory(work);
    return ok;
}

bool LoadLibrary(AdLibrary& library, const std::string& path) {
    std::string work = MakeWorkDirectory();
    if (work.empty())
        return false;
    ResetLibrary(library);
    // A failed unpack shows up as the root's file missing.
    UnpackContainer(path, work);
    library.root.id = "RootNode";
    // The root becomes a folder whatever its file says, so its children are read
    // (and checked) as a folder's.
    bool ok = ReadTree(library.root, work, true);
    library.root.title = LibraryTexts::RootTitle();
    library.root.flags = kRootFlags;
    RemoveWorkDirectory(work);
    return ok;
}
