#pragma once

#include "admanager/library/LibraryNode.h"

#include <string>
#include <string_view>

// The .zva container: one small file per live node, packed back to back behind a
// table of names and sizes. Loading and saving go through a work directory in
// the program folder.

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
} // namespace LibraryFormat

// Writes the library to path. The previous file stays untouched unless the whole
// new container was written.
bool SaveLibrary(const AdLibrary& library, const std::string& path);

// Reads the library from path; on failure the library holds what could be read
// (at least an empty root).
bool LoadLibrary(AdLibrary& library, const std::string& path);

// Writes the container at target from every "*.dat" file in workDir, in byte
// order of the names.
bool PackDirectory(const std::string& target, const std::string& workDir);

// Recreates the container's node files in workDir. Fails, creating nothing, on a
// bad signature, a table or size beyond the file, or an entry name that is not a
// plain file name.
bool UnpackContainer(const std::string& source, const std::string& workDir);

// Writes node's file into workDir and, for a folder, those of its live
// descendants.
bool WriteNode(const LibraryNode& node, const std::string& workDir);

// Reads node (its identifier is set) and its descendants from workDir.
bool ReadNode(LibraryNode& node, const std::string& workDir);

// The bytes of one node file in the current version.
std::string EncodeNodeFile(const LibraryNode& node);

// Creates a fresh work directory "zvaXXXX.tmp" in the program folder; empty on
// failure.
std::string MakeWorkDirectory();
// Deletes the files of a work directory and the directory itself.
void RemoveWorkDirectory(const std::string& dir);
