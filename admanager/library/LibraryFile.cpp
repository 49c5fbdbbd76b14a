#include "admanager/library/LibraryFile.h"

#include "common/Cp932.h"
#include "common/FileOps.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <unordered_map>
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

// The exact size of a node's entry in the current version, so the container's
// table can be written before the entries.
std::size_t EncodedSize(const LibraryNode& node) {
    constexpr std::size_t kString = 4;
    std::size_t n = kNodeSignature.size() + kNodeIdSize + 7 * kString + node.title.size() + node.comment.size() +
                    node.outputPath.size() + node.remoteFile.size() + node.styleSheet.size() + node.tagClass.size() +
                    node.ftpHost.size() + 2 /* flag bytes */ + 4 * 8 /* ints: columns to count */;
    if (node.IsAdItem()) {
        for (const auto& b : node.banners)
            if (b->IsLive())
                n += 5 * kString + 4 * 4 + b->asp.size() + b->advertiser.size() + b->name.size() + b->comment.size() +
                     b->tag.size();
    } else {
        n += CountLiveChildren(node) * kChildIdSize;
    }
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
        // Assigned in place: a field's buffer is reused, no text is made twice.
        b = Cp932::KeptView(b, kept);
        out.assign(b.data(), b.size());
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

// A fixed text field: its bytes up to the first NUL.
std::string_view FixedView(std::string_view bytes) { return bytes.substr(0, std::min(bytes.find('\0'), bytes.size())); }
std::string FixedText(std::string_view bytes) { return std::string(FixedView(bytes)); }

bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string_view("/\\", 2)) == std::string_view::npos;
}

std::string EntryName(const std::string& id) { return id + ".dat"; }

// The container's entries by name; a name met twice is the later entry, as
// unpacking into files made it.
using EntryMap = std::unordered_map<std::string_view, const ZvaContainer::Entry*>;

struct ReadContext {
    EntryMap entries;
    // The bytes of an entry; the view lasts until the next call.
    std::function<bool(const ZvaContainer::Entry&, std::string_view&)> fetch;
    std::unordered_set<std::string> seen;
    std::int32_t nodes = 0;
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
    if (!r.Bytes(kNodeIdSize, idBytes) || FixedView(idBytes) != node.id)
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
    if (count > kMaxRecords)
        return false;

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
    const bool tooMany = ++ctx.nodes > kMaxRecords;
    auto entry = depth > kMaxDepth || tooMany ? ctx.entries.end() : ctx.entries.find(EntryName(node.id));
    std::string_view data;
    if (entry == ctx.entries.end() || !ctx.fetch(*entry->second, data)) {
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
            // An identifier that cannot name an entry, or one met before (a cycle or
            // a duplicate), would read the wrong entry or replace another node's
            // entry on the next save: such a child gets a fresh identifier and
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

// Every live node, each before its children (the order in which a later node
// of the same identifier replaces an earlier one).
void CollectLive(const LibraryNode& node, std::vector<const LibraryNode*>& out) {
    out.push_back(&node);
    if (node.IsFolder())
        for (const auto& child : node.children)
            if (!child->IsDeleted())
                CollectLive(*child, out);
}

} // namespace

// ---------------------------------------------------------------- node files

std::string EncodeNodeFile(const LibraryNode& node) {
    std::string out;
    out.reserve(EncodedSize(node));
    EncodeNode(node, out);
    return out;
}

void EncodeNode(const LibraryNode& node, std::string& out) {
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
}

// ---------------------------------------------------------------- container

namespace ZvaContainer {

bool Pack(const std::vector<std::string>& names, const std::vector<std::size_t>& sizes,
          const std::function<void(std::size_t, std::string&)>& writeEntry,
          const std::function<bool(std::string_view)>& sink) {
    // The same entries always pack to the same bytes.
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&names](std::size_t a, std::size_t b) { return names[a] < names[b]; });

    std::string chunk;
    chunk.reserve(kHeaderSize + kEntrySize * names.size());
    chunk.append(kContainerSignature);
    PutInt(chunk, 1);
    PutInt(chunk, static_cast<std::int32_t>(names.size()));
    std::uint64_t before = 0;
    for (std::size_t j = 0; j < order.size(); ++j) {
        const std::size_t i = order[j];
        // The position field counts the table up to this entry only, as every writer has.
        PutInt(chunk, static_cast<std::int32_t>(kHeaderSize + kEntrySize * j + before));
        PutInt(chunk, static_cast<std::int32_t>(sizes[i]));
        PutFixed(chunk, std::string_view(names[i]).substr(0, Cp932::CutLength(names[i], kEntryNameSize - 1)),
                 kEntryNameSize);
        before += sizes[i];
    }
    if (before > 0xFFFFFFFFu - chunk.size())
        return false; // beyond what the table's fields can say
    // The entries go out in pieces of about a megabyte: no copy of the whole file is made.
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t i : order) {
        const std::size_t start = chunk.size();
        writeEntry(i, chunk);
        if (chunk.size() - start != sizes[i])
            return false;
        if (chunk.size() >= kPiece) {
            if (!sink(chunk))
                return false;
            chunk.clear();
        }
    }
    return sink(chunk);
}

bool Unpack(std::string_view head, std::uint64_t fileSize, std::vector<Entry>& entries) {
    entries.clear();
    if (head.size() < kHeaderSize || head.substr(0, kContainerSignature.size()) != kContainerSignature ||
        fileSize < head.size())
        return false;
    const std::int32_t count = static_cast<std::int32_t>(GetU32(head, 20));
    if (count < 0 || count > kMaxEntries || static_cast<std::uint64_t>(count) > (fileSize - kHeaderSize) / kEntrySize ||
        head.size() < kHeaderSize + kEntrySize * static_cast<std::size_t>(count))
        return false;
    const std::string_view table = head.substr(kHeaderSize, kEntrySize * static_cast<std::size_t>(count));
    // Every name is checked before any entry is taken.
    for (std::size_t at = 0; at < table.size(); at += kEntrySize)
        if (!IsPlainName(FixedView(table.substr(at + 8, kEntryNameSize))))
            return false;
    entries.reserve(static_cast<std::size_t>(count));
    std::uint64_t pos = kHeaderSize + table.size();
    for (std::size_t at = 0; at < table.size(); at += kEntrySize) {
        const std::uint32_t size = GetU32(table, at + 4);
        // Entries lie back to back after the table. One the file ends inside was
        // cut off: it and those after it are missing, the others are whole.
        if (size > fileSize - pos)
            break;
        // Nothing of ours is that large: it and those after it are damage.
        if (size > kMaxEntryBytes)
            break;
        entries.push_back({FixedView(table.substr(at + 8, kEntryNameSize)), pos, size});
        pos += size;
    }
    return true;
}

std::size_t HeadSize(std::string_view header, std::uint64_t fileSize) {
    if (header.size() < kHeaderSize || header.substr(0, kContainerSignature.size()) != kContainerSignature)
        return header.size();
    const std::int32_t count = static_cast<std::int32_t>(GetU32(header, 20));
    // A count the file cannot hold is refused before its table is read.
    if (count < 0 || count > kMaxEntries || static_cast<std::uint64_t>(count) > (fileSize - kHeaderSize) / kEntrySize)
        return header.size();
    return kHeaderSize + kEntrySize * static_cast<std::size_t>(count);
}

} // namespace ZvaContainer

// ---------------------------------------------------------------- library

namespace {

// The entries of the library's live nodes: their names and the node of each.
bool CollectEntries(const AdLibrary& library, std::vector<std::string>& names, std::vector<const LibraryNode*>& nodes) {
    std::vector<const LibraryNode*> live;
    CollectLive(library.root, live);
    // One entry per identifier; a later node of the same identifier takes its place,
    // as its file overwrote the earlier one's.
    std::unordered_map<std::string, std::size_t> index;
    for (const LibraryNode* node : live) {
        // An identifier that is not a plain short name cannot name its entry.
        if (!IsSafeNodeId(node->id))
            return false;
        auto [it, added] = index.try_emplace(EntryName(node->id), names.size());
        if (added) {
            names.push_back(it->first);
            nodes.push_back(node);
        } else {
            nodes[it->second] = node;
        }
    }
    return true;
}

// Packs the library's live nodes, one entry each, through sink.
bool PackLibrary(const AdLibrary& library, const std::function<bool(std::string_view)>& sink) {
    std::vector<std::string> names;
    std::vector<const LibraryNode*> nodes;
    if (!CollectEntries(library, names, nodes))
        return false;
    std::vector<std::size_t> sizes;
    sizes.reserve(nodes.size());
    for (const LibraryNode* node : nodes)
        sizes.push_back(EncodedSize(*node));
    return ZvaContainer::Pack(
        names, sizes, [&nodes](std::size_t i, std::string& out) { EncodeNode(*nodes[i], out); }, sink);
}

// Reads the tree from the container's entries, fetched by fetch.
bool ReadLibrary(AdLibrary& library, const std::vector<ZvaContainer::Entry>& entries,
                 std::function<bool(const ZvaContainer::Entry&, std::string_view&)> fetch) {
    ReadContext ctx{{}, std::move(fetch), {}};
    ctx.entries.reserve(entries.size());
    for (const auto& entry : entries)
        ctx.entries[entry.name] = &entry;
    library.root.id = "RootNode";
    ctx.seen.insert(library.root.id);
    // The root becomes a folder whatever its entry says, so its children are read
    // (and checked) as a folder's.
    bool ok = ReadNodeRecursive(library.root, ctx, 0, true);
    library.root.title = LibraryTexts::RootTitle();
    library.root.flags = kRootFlags;
    return ok;
}

} // namespace

StepwiseEncoding::StepwiseEncoding(const AdLibrary& library) {
    m_ok = CollectEntries(library, m_names, m_nodes);
    m_entries.reserve(m_nodes.size());
}

bool StepwiseEncoding::Step(std::chrono::steady_clock::time_point deadline) {
    // A node of the largest kind encodes in well under a millisecond: the
    // deadline is checked after each.
    while (m_ok && m_entries.size() < m_nodes.size()) {
        m_entries.push_back(EncodeNodeFile(*m_nodes[m_entries.size()]));
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    return Done();
}

bool StepwiseEncoding::Done() const { return !m_ok || m_entries.size() == m_nodes.size(); }

bool StepwiseEncoding::Pack(const std::function<bool(std::string_view)>& sink) const {
    if (!m_ok || !Done())
        return false;
    std::vector<std::size_t> sizes;
    sizes.reserve(m_entries.size());
    for (const std::string& entry : m_entries)
        sizes.push_back(entry.size());
    return ZvaContainer::Pack(
        m_names, sizes, [this](std::size_t i, std::string& out) { out.append(m_entries[i]); }, sink);
}

bool EncodeLibrary(const AdLibrary& library, std::string& out) {
    out.clear();
    return PackLibrary(library, [&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
}

bool DecodeLibrary(AdLibrary& library, std::string_view file) {
    ResetLibrary(library);
    std::vector<ZvaContainer::Entry> entries;
    // A container that cannot be read shows as the root's entry missing.
    ZvaContainer::Unpack(file, file.size(), entries);
    return ReadLibrary(library, entries, [file](const ZvaContainer::Entry& entry, std::string_view& data) {
        data = file.substr(entry.offset, entry.size);
        return true;
    });
}

bool SaveLibrary(const AdLibrary& library, const std::string& path) {
    FileOps::AtomicWriter out;
    return !path.empty() && out.Open(path) &&
           PackLibrary(library, [&out](std::string_view piece) { return out.Write(piece); }) && out.Commit();
}

bool LoadLibrary(AdLibrary& library, const std::string& path) {
    ResetLibrary(library);
    // The table first, then each entry when its node is read, into one buffer the
    // size of the largest: no copy of the whole file is ever held.
    FileOps::File in = FileOps::File::Open(path, FileOps::File::Mode::Read);
    const long long size = in.Size();
    std::string head;
    std::vector<ZvaContainer::Entry> entries;
    if (size >= static_cast<long long>(kHeaderSize) && in.ReadAt(0, kHeaderSize, head) &&
        in.ReadAt(0, ZvaContainer::HeadSize(head, static_cast<std::uint64_t>(size)), head))
        ZvaContainer::Unpack(head, static_cast<std::uint64_t>(size), entries);
    std::string buffer;
    return ReadLibrary(library, entries, [&in, &buffer](const ZvaContainer::Entry& entry, std::string_view& data) {
        if (!in.ReadAt(static_cast<long long>(entry.offset), entry.size, buffer))
            return false; // changed or unreadable since the table was read
        data = buffer;
        return true;
    });
}
