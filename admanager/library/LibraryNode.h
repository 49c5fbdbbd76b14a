#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Records of the ad library. Texts are CP932 bytes; their capacities are the byte
// counts kept (the Windows records held one more byte for the terminating zero).

enum NodeFlags : std::int32_t {
    NODE_AD_ITEM = 0x1,
    NODE_FOLDER = 0x2,
    NODE_ROOT = 0x4,
    NODE_DELETED = 0x10000,
    NODE_READ_ERROR = 0x20000,
};

constexpr std::int32_t kRootFlags = NODE_FOLDER | NODE_ROOT;
constexpr std::int32_t kReadErrorFlags = NODE_AD_ITEM | NODE_READ_ERROR;

// Kept lengths in bytes.
namespace Kept {
constexpr std::size_t kNodeId = 31;
constexpr std::size_t kTitle = 255;
constexpr std::size_t kComment = 511;
constexpr std::size_t kPath = 255; // output path, remote file, style sheet, tag class, FTP host name
constexpr std::size_t kBannerText = 255; // ASP name, advertiser, name
constexpr std::size_t kBannerLong = 2047; // banner comment and tag
} // namespace Kept

// Layout codes of a cell line.
enum LayoutCode : std::int32_t { LAYOUT_NONE = 0, LAYOUT_NAME = 1, LAYOUT_COMMENT = 2, LAYOUT_TAG = 3 };

// Fixed texts of the library, as CP932 bytes.
namespace LibraryTexts {
const std::string& RootTitle();       // "Zelvor管理"
const std::string& NewFolderTitle();  // "新しいフォルダ"
const std::string& NewItemTitle();    // "新しいデータ"
const std::string& ReadError();       // "※読み込みエラー"
const std::string& DefaultAsp();      // "その他"
const std::string& NewBannerName();   // "新しい広告データ"
} // namespace LibraryTexts

struct Banner {
    std::string asp = LibraryTexts::DefaultAsp();
    std::string advertiser;
    std::string name = LibraryTexts::NewBannerName();
    std::int32_t cpm = 0;
    std::int32_t cpc = 0;
    std::int32_t fixedRate = 0;
    std::int32_t fixedFee = 0;
    std::string comment;
    std::string tag;
    std::int32_t live = 1;

    bool IsLive() const { return live != 0; }
    bool operator==(const Banner&) const = default;
    // Cuts every text to its kept length at a character boundary.
    void CutTexts();
};

struct LibraryNode {
    std::string id;
    std::int32_t flags = NODE_AD_ITEM;
    std::string title;
    std::string comment;
    std::string outputPath;
    std::int32_t ftpUpload = 0;
    std::string remoteFile;
    std::string styleSheet;
    std::string tagClass;
    std::int32_t columnIndex = 0;
    std::int32_t rowLimit = 0;
    std::int32_t rowCount = 5;
    std::int32_t multiPage = 0;
    std::int32_t layout[3] = {LAYOUT_NAME, LAYOUT_COMMENT, LAYOUT_TAG};
    std::string ftpHost;
    // Owned through pointers so references held by the panes stay valid when
    // the lists grow.
    std::vector<std::unique_ptr<LibraryNode>> children;
    std::vector<std::unique_ptr<Banner>> banners;

    LibraryNode() = default;
    LibraryNode(const LibraryNode&) = delete;
    LibraryNode& operator=(const LibraryNode&) = delete;
    ~LibraryNode();

    bool IsAdItem() const { return (flags & NODE_AD_ITEM) != 0; }
    bool IsFolder() const { return (flags & NODE_FOLDER) != 0; }
    bool IsRoot() const { return (flags & NODE_ROOT) != 0; }
    bool IsDeleted() const { return (flags & NODE_DELETED) != 0; }
    bool HasReadError() const { return (flags & NODE_READ_ERROR) != 0; }

    // Copies every field but the identifier and the lists.
    void CopyFieldsFrom(const LibraryNode& other);
    // Every field but the identifier and the lists is equal.
    bool SameFields(const LibraryNode& other) const;
    // Cuts every text to its kept length at a character boundary.
    void CutTexts();
};

struct AdLibrary {
    LibraryNode root;
};

// The document's working state besides the library.
struct DocumentState {
    LibraryNode* currentNode = nullptr;
    Banner* currentBanner = nullptr;
    std::unique_ptr<LibraryNode> copiedItem;
    std::unique_ptr<Banner> copiedBanner;
};

// Node identifiers: local time "%y%m%d%H%M%S" followed by the process-wide
// counter as "%08X".
std::string MakeNodeId();
std::int32_t GetNodeIdCounter();
void SetNodeIdCounter(std::int32_t value);
// Replaces the clock (tests); an empty function restores the real one.
void SetNodeIdClock(std::function<std::time_t()> clock);

// target becomes a deep copy of source with fresh identifiers, drawn in pre-order.
// Deleted children and banners are not carried over.
void CopyNode(const LibraryNode& source, LibraryNode& target);
// Appends a deep copy of source to folder's children and returns it.
LibraryNode& AddChildCopy(LibraryNode& folder, const LibraryNode& source);
// Releases children and banners and marks the node deleted.
void ClearNode(LibraryNode& node);
int CountLiveChildren(const LibraryNode& node);
int CountLiveBanners(const LibraryNode& node);
// Appends a banner with default values and returns it.
Banner& AppendBanner(LibraryNode& item);
void ResetLibrary(AdLibrary& library);
void InitEmptyLibrary(AdLibrary& library);

// Steps of the editing history. Each has an exact inverse, so a history that
// replays them in reverse gets back the same objects in the same places.

// Where a node sits in its parent's list.
struct NodeSlot {
    LibraryNode* parent = nullptr;
    std::size_t index = 0;
};
// The slot of node below root; parent null when node is root or not found.
NodeSlot FindSlot(LibraryNode& root, const LibraryNode* node);
// Takes a child out of its parent's list (the node and its subtree stay whole).
std::unique_ptr<LibraryNode> DetachChild(LibraryNode& parent, std::size_t index);
// Puts a child back at index (at the end when index is past it).
LibraryNode& InsertChild(LibraryNode& parent, std::size_t index, std::unique_ptr<LibraryNode> child);
// The identifiers of node and its live descendants, in pre-order.
std::vector<std::string> SubtreeIds(const LibraryNode& node);
// Sets them back in the same order.
void SetSubtreeIds(LibraryNode& node, const std::vector<std::string>& ids);
// Draws fresh identifiers for node and its live descendants, in the order a copy draws them.
void RenewSubtreeIds(LibraryNode& node);
// Moves the banner at from to index to of the item's list.
void MoveBanner(LibraryNode& item, std::size_t from, std::size_t to);
// The list index of a banner; npos when it is not the item's.
std::size_t BannerIndex(const LibraryNode& item, const Banner* banner);

// An identifier that can name a node file: 1 to 20 bytes, no path separators,
// no control characters, not "." or "..". Identifiers come from files and JSON.
bool IsSafeNodeId(const std::string& id);
