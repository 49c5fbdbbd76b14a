#pragma once

#include "admanager/library/LibraryNode.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Copies of a library with unsaved changes, kept so a crash loses little. A copy
// holds the library's path, the time it was taken and the library's container;
// the library's own file is never written from here.
namespace RecoveryFile {

constexpr const char* kExtension = ".zvr";
// What a copy that cannot be read is renamed to, so it is not offered again.
constexpr const char* kSetAsideExtension = ".unreadable";

struct Header {
    std::string libraryPath; // CP932, as the settings keep it; empty when untitled
    std::int64_t takenAt = 0; // seconds since the epoch
};

// The folder of the copies: "recovery/" in the state folder, made private when missing.
std::string Folder();

// Writes header and the container pack gives into file, readable by the user alone,
// replacing any earlier copy whole.
using Sink = std::function<bool(std::string_view)>;
bool Write(const std::string& file, const Header& header, const std::function<bool(const Sink&)>& pack);

// Reads a copy. False when it is not one or its library cannot be read whole.
bool ReadHeader(const std::string& file, Header& header);
bool Read(const std::string& file, Header& header, AdLibrary& library);
// The same from bytes in memory.
bool Decode(std::string_view data, Header& header, AdLibrary& library);
// The bytes every copy begins with.
std::string_view Signature();

// The copies in folder, newest first.
std::vector<std::string> List(const std::string& folder);

// Renames an unreadable copy beside itself; the new path, or empty.
std::string SetAside(const std::string& file);

} // namespace RecoveryFile
