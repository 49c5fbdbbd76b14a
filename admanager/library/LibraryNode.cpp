#include "admanager/library/LibraryNode.h"

#include "common/Cp932.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace LibraryTexts {

#define ZOVA_TEXT(name, utf8)                                                                                          \
    const std::string& name() {                                                                                        \
        static const std::string text = Cp932::FromUtf8(utf8);                                                         \
        return text;                                                                                                   \
    }

ZOVA_TEXT(RootTitle, "Zelvor管理")
ZOVA_TEXT(NewFolderTitle, "新しいフォルダ")
ZOVA_TEXT(NewItemTitle, "新しいデータ")
ZOVA_TEXT(ReadError, "※読み込みエラー")
ZOVA_TEXT(DefaultAsp, "その他")
ZOVA_TEXT(NewBannerName, "新しい広告データ")

#undef ZOVA_TEXT

} // namespace LibraryTexts

void Banner::CutTexts() {
    Cp932::CutTo(asp, Kept::kBannerText);
    Cp932::CutTo(advertiser, Kept::kBannerText);
    Cp932::CutTo(name, Kept::kBannerText);
    Cp932::CutTo(comment, Kept::kBannerLong);
    Cp932::CutTo(tag, Kept::kBannerLong);
}

LibraryNode::~LibraryNode() = default;

void LibraryNode::CopyFieldsFrom(const LibraryNode& other) {
    flags = other.flags;
    title = other.title;
    comment = other.comment;
    outputPath = other.outputPath;
    ftpUpload = other.ftpUpload;
    remoteFile = other.remoteFile;
    styleSheet = other.styleSheet;
    tagClass = other.tagClass;
    columnIndex = other.columnIndex;
    rowLimit = other.rowLimit;
    rowCount = other.rowCount;
    multiPage = other.multiPage;
    for (int i = 0; i < 3; ++i)
        layout[i] = other.layout[i];
    ftpHost = other.ftpHost;
}

bool LibraryNode::SameFields(const LibraryNode& o) const {
    return flags == o.flags && title == o.title && comment == o.comment && outputPath == o.outputPath &&
           ftpUpload == o.ftpUpload && remoteFile == o.remoteFile && styleSheet == o.styleSheet &&
           tagClass == o.tagClass && columnIndex == o.columnIndex && rowLimit == o.rowLimit &&
           rowCount == o.rowCount && multiPage == o.multiPage && layout[0] == o.layout[0] &&
           layout[1] == o.layout[1] && layout[2] == o.layout[2] && ftpHost == o.ftpHost;
}

void LibraryNode::CutTexts() {
    Cp932::CutTo(id, Kept::kNodeId);
    Cp932::CutTo(title, Kept::kTitle);
    Cp932::CutTo(comment, Kept::kComment);
    Cp932::CutTo(outputPath, Kept::kPath);
    Cp932::CutTo(remoteFile, Kept::kPath);
    Cp932::CutTo(styleSheet, Kept::kPath);
    Cp932::CutTo(tagClass, Kept::kPath);
    Cp932::CutTo(ftpHost, Kept::kPath);
}

namespace {

std::mutex g_idMutex;
std::int32_t g_idCounter = 0;
std::function<std::time_t()> g_clock;

} // namespace

std::string MakeNodeId() {
    std::lock_guard<std::mutex> lock(g_idMutex);
    std::time_t now = g_clock ? g_clock() : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%y%m%d%H%M%S", &local);
    char id[48];
    std::snprintf(id, sizeof id, "%s%08X", stamp, static_cast<unsigned>(g_idCounter));
    // 0 is never reused once the counter wraps.
    g_idCounter = g_idCounter >= 0xFFFFFF ? 1 : g_idCounter + 1;
    return id;
}

std::int32_t GetNodeIdCounter() {
    std::lock_guard<std::mutex> lock(g_idMutex);
    return g_idCounter;
}

void SetNodeIdCounter(std::int32_t value) {
    std::lock_guard<std::mutex> lock(g_idMutex);
    g_idCounter = value;
}

void SetNodeIdClock(std::function<std::time_t()> clock) {
    std::lock_guard<std::mutex> lock(g_idMutex);
    g_clock = std::move(clock);
}

void CopyNode(const LibraryNode& source, LibraryNode& target) {
    target.id = MakeNodeId();
    target.CopyFieldsFrom(source);
    target.children.clear();
    target.banners.clear();
    for (const auto& child : source.children) {
        if (child->IsDeleted())
            continue;
        auto copy = std::make_unique<LibraryNode>();
        CopyNode(*child, *copy);
        target.children.push_back(std::move(copy));
    }
    for (const auto& banner : source.banners) {
        if (!banner->IsLive())
            continue;
        auto copy = std::make_unique<Banner>(*banner);
        copy->live = 1;
        target.banners.push_back(std::move(copy));
    }
}

LibraryNode& AddChildCopy(LibraryNode& folder, const LibraryNode& source) {
    auto copy = std::make_unique<LibraryNode>();
    CopyNode(source, *copy);
    folder.children.push_back(std::move(copy));
    return *folder.children.back();
}

void ClearNode(LibraryNode& node) {
    if (node.IsFolder()) {
        for (auto& child : node.children)
            ClearNode(*child);
    }
    node.children.clear();
    node.banners.clear();
    node.flags |= NODE_DELETED;
}

int CountLiveChildren(const LibraryNode& node) {
    int n = 0;
    for (const auto& child : node.children)
        n += child->IsDeleted() ? 0 : 1;
    return n;
}

int CountLiveBanners(const LibraryNode& node) {
    int n = 0;
    for (const auto& banner : node.banners)
        n += banner->IsLive() ? 1 : 0;
    return n;
}

Banner& AppendBanner(LibraryNode& item) {
    item.banners.push_back(std::make_unique<Banner>());
    return *item.banners.back();
}

void ResetLibrary(AdLibrary& library) {
    ClearNode(library.root);
    LibraryNode fresh;
    library.root.id.clear();
    library.root.CopyFieldsFrom(fresh);
}

void InitEmptyLibrary(AdLibrary& library) {
    library.root.id = "RootNode";
    library.root.title = LibraryTexts::RootTitle();
    library.root.flags = kRootFlags;
}

bool IsSafeNodeId(const std::string& id) {
    if (id.empty() || id.size() > 20 || id == "." || id == "..")
        return false;
    for (char c : id) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\')
            return false;
    }
    return true;
}

NodeSlot FindSlot(LibraryNode& root, const LibraryNode* node) {
    for (std::size_t i = 0; i < root.children.size(); ++i) {
        LibraryNode& child = *root.children[i];
        if (&child == node)
            return {&root, i};
        if (NodeSlot inner = FindSlot(child, node); inner.parent)
            return inner;
    }
    return {};
}

std::unique_ptr<LibraryNode> DetachChild(LibraryNode& parent, std::size_t index) {
    if (index >= parent.children.size())
        return nullptr;
    std::unique_ptr<LibraryNode> child = std::move(parent.children[index]);
    parent.children.erase(parent.children.begin() + static_cast<std::ptrdiff_t>(index));
    return child;
}

LibraryNode& InsertChild(LibraryNode& parent, std::size_t index, std::unique_ptr<LibraryNode> child) {
    index = std::min(index, parent.children.size());
    return **parent.children.insert(parent.children.begin() + static_cast<std::ptrdiff_t>(index), std::move(child));
}

namespace {

template <typename Visit> void VisitLive(LibraryNode& node, Visit&& visit) {
    visit(node);
    for (auto& child : node.children)
        if (!child->IsDeleted())
            VisitLive(*child, visit);
}

} // namespace

std::vector<std::string> SubtreeIds(const LibraryNode& node) {
    std::vector<std::string> ids;
    VisitLive(const_cast<LibraryNode&>(node), [&ids](LibraryNode& n) { ids.push_back(n.id); });
    return ids;
}

void SetSubtreeIds(LibraryNode& node, const std::vector<std::string>& ids) {
    std::size_t i = 0;
    VisitLive(node, [&](LibraryNode& n) {
        if (i < ids.size())
            n.id = ids[i++];
    });
}

void RenewSubtreeIds(LibraryNode& node) {
    VisitLive(node, [](LibraryNode& n) { n.id = MakeNodeId(); });
}

void MoveBanner(LibraryNode& item, std::size_t from, std::size_t to) {
    auto& list = item.banners;
    if (from >= list.size() || to >= list.size() || from == to)
        return;
    std::unique_ptr<Banner> banner = std::move(list[from]);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(from));
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(to), std::move(banner));
}

std::size_t BannerIndex(const LibraryNode& item, const Banner* banner) {
    for (std::size_t i = 0; i < item.banners.size(); ++i)
        if (item.banners[i].get() == banner)
            return i;
    return std::string::npos;
}
