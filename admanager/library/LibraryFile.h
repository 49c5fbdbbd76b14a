#pragma once

#include "admanager/library/LibraryNode.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The .zva container: one entry per live node, packed back to back behind a
// table of names and sizes. Loading and saving work in memory; nothing but the
// target file (and its temporary twin beside it) is ever written.

namespace LibraryFormat {
constexpr std::string_view kContainerSignature = "zova_af_datafile";
constexpr std::string_view kNodeSignature = "zova_af_file_ver1.00";
constexpr std::string_view kOldNodeSignature = "zova_af_file_ver0.01";
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kEntrySize = 40;
constexpr std::size_t kEntryNameSize = 32;
constexpr std::size_t kNodeIdSize = 20;
constexpr std::size_t kChildIdSize = 22;
// Deeper trees than this only come from damaged files; their nodes beyond it
// load as read errors instead of exhausting the stack.
constexpr int kMaxDepth = 1000;
// Bounds checked before anything is allocated. No real library comes near
// them (2,000 ad items of 50 banners are 40 MB in all, the largest entry a
// few hundred KB); a file that claims more, a sparse one say, is damage.
constexpr std::uint32_t kMaxEntryBytes = 16u << 20;
constexpr std::int32_t kMaxEntries = 200000;
constexpr std::int32_t kMaxRecords = 100000; // banners of an item, children of a folder, nodes of a library
} // namespace LibraryFormat

// The container layer: named entries back to back behind a table of names and
// sizes, packed and unpacked in memory.
namespace ZvaContainer {

struct Entry {
    std::string_view name;
    std::uint64_t offset;
    std::uint32_t size;
};

// Writes the container of the entries named names, in byte order of the names,
// through sink in pieces; sizes[i] is the size of entry i and writeEntry(i, out)
// appends its content. False when sink fails or an entry is not its size.
bool Pack(const std::vector<std::string>& names, const std::vector<std::size_t>& sizes,
          const std::function<void(std::size_t, std::string&)>& writeEntry,
          const std::function<bool(std::string_view)>& sink);

// How many of the container's first bytes hold its header and table, given its
// first kHeaderSize bytes: those alone when they are no container's or the
// table could not fit in the file.
std::size_t HeadSize(std::string_view header, std::uint64_t fileSize);

// Lists the entries of a container from its first bytes (header and table; names
// are views into head) and its size. Fails on a bad signature, a table beyond the
// file or an entry name that is not a plain name. An entry the file ends inside
// was cut off: it and those after it are left out, the whole ones before it are
// listed.
bool Unpack(std::string_view head, std::uint64_t fileSize, std::vector<Entry>& entries);

} // namespace ZvaContainer

// The node layer: the bytes of one node's entry in the current version.
void EncodeNode(const LibraryNode& node, std::string& out);
std::string EncodeNodeFile(const LibraryNode& node);

// The container of a whole library, one entry per live node. False when a live
// node's identifier cannot name an entry.
bool EncodeLibrary(const AdLibrary& library, std::string& out);

// The container of a library built a few nodes at a time, so a user-interface
// thread never waits for a whole large library; once done it holds no reference
// to the library and can be packed on another thread. The library must not
// change between the first and the last step.
class StepwiseEncoding {
public:
    explicit StepwiseEncoding(const AdLibrary& library);
    // Encodes nodes until deadline; true when nothing is left to encode.
    bool Step(std::chrono::steady_clock::time_point deadline);
    bool Done() const;
    // The same bytes EncodeLibrary gives, through sink; false when an identifier
    // cannot name an entry or the encoding is not done.
    bool Pack(const std::function<bool(std::string_view)>& sink) const;

private:
    bool m_ok = false;
    std::vector<std::string> m_names;
    std::vector<const LibraryNode*> m_nodes;
    std::vector<std::string> m_entries;
};

// Reads the library from a container held in memory; on failure the library
// holds what could be read (at least an empty root). Nodes whose entry is
// missing or cannot be read show as read errors.
bool DecodeLibrary(AdLibrary& library, std::string_view file);

// Writes the library to path, beside it first: the previous file stays untouched
// unless the whole new container was written.
bool SaveLibrary(const AdLibrary& library, const std::string& path);

// Reads the library from path, each node's entry as it is needed; on failure the
// library holds what could be read (at least an empty root).
bool LoadLibrary(AdLibrary& library, const std::string& path);
