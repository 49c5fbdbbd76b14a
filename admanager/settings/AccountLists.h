#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class IniDocument;

// The user's ASP accounts and FTP host settings, kept in the sections
// "ZOVA_AF_ASPLIST" and "ZOVA_AF_FTPSETTING" of the settings file. Passwords
// are plain in memory and scrambled in the file.

namespace SettingsTexts {
const std::string& ReadFailedName(); // "読み込み失敗"
const std::string& NewAspName();     // "新しいASP"
const std::string& NewFtpHostName(); // "新しいホスト設定"
} // namespace SettingsTexts

// A damaged count never makes a list longer than this.
constexpr std::int32_t kMaxListEntries = 10000;

struct AspEntry {
    std::string name;
    std::string url;
    std::string userId;
    std::string password; // plain

    // Text lengths that survive a save and load.
    static constexpr std::size_t kTextBytes = 254;
    static constexpr std::size_t kPasswordBytes = 255;

    static AspEntry New(); // the entry "新規" adds
    void CutTexts();
    bool operator==(const AspEntry&) const = default;
};

// How a host is reached. The numbers are what the settings file stores.
enum class FtpProtocol : std::int32_t {
    Ftp = 0,  // plain FTP; what an entry without the key means
    Ftps = 1, // FTP over TLS, explicit (AUTH TLS), data connections protected too
    Sftp = 2, // SSH file transfer
};

// The port a protocol uses unless the user chose another.
std::int32_t DefaultPort(FtpProtocol protocol);
// "ftp", "ftps", "sftp": the names the JSON export uses.
const char* ProtocolName(FtpProtocol protocol);
bool ProtocolFromName(std::string_view name, FtpProtocol& protocol);

struct FtpHostEntry {
    std::string name;
    std::string host;
    std::int32_t port = 21;
    std::string user;
    std::string password; // plain
    std::string directory;
    // An entry stored before these existed reads as plain FTP in active mode.
    FtpProtocol protocol = FtpProtocol::Ftp;
    bool passive = false;
    // Pinned fingerprints, SHA-256 as 64 lower-case hex digits, empty when none:
    // the server certificate the user trusted (FTP over TLS) and the SSH host key
    // the user accepted (SFTP).
    std::string certificateSha256;
    std::string hostKeySha256;
    std::string keyFile; // SFTP private key, a path (CP932 like the other texts); empty: password only

    static constexpr std::size_t kNameBytes = 254;
    static constexpr std::size_t kHostBytes = 510;
    static constexpr std::size_t kUserBytes = 254;
    static constexpr std::size_t kPasswordBytes = 255;
    static constexpr std::size_t kDirectoryBytes = 510;
    static constexpr std::size_t kKeyFileBytes = 510;

    // A host the user creates now: FTP over TLS in passive mode.
    static FtpHostEntry New();
    void CutTexts();
    bool operator==(const FtpHostEntry&) const = default;
};

struct AspList {
    std::vector<AspEntry> entries;
    int Count() const { return static_cast<int>(entries.size()); }
    bool operator==(const AspList&) const = default;
};

struct FtpHostList {
    std::vector<FtpHostEntry> entries;
    int Count() const { return static_cast<int>(entries.size()); }
    bool operator==(const FtpHostList&) const = default;
};

// List operations, indexes from 0. AppendEntry is false (and adds nothing)
// when the list cannot grow; RemoveEntry and SwapEntries are false for indexes
// outside the list, and SwapEntries also for two equal indexes.
bool AppendEntry(AspList& list, const AspEntry& entry);
bool RemoveEntry(AspList& list, int index);
bool SwapEntries(AspList& list, int first, int second);
// Makes target hold exactly the entries of source.
void CopyList(const AspList& source, AspList& target);

// True for 64 lower-case hex digits, the form fingerprints are kept in.
bool IsSha256Hex(std::string_view text);

bool AppendEntry(FtpHostList& list, const FtpHostEntry& entry);
bool RemoveEntry(FtpHostList& list, int index);
bool SwapEntries(FtpHostList& list, int first, int second);
void CopyList(const FtpHostList& source, FtpHostList& target);

// The section blocks, on a document already read.
void ReadAspList(const IniDocument& doc, AspList& list);
void StoreAspList(IniDocument& doc, const AspList& list);
void ReadFtpHostList(const IniDocument& doc, FtpHostList& list);
void StoreFtpHostList(IniDocument& doc, const FtpHostList& list);

// The module directory's settings file. Loading a missing file gives an empty
// list; false when the file exists but cannot be read. Saving replaces the
// whole section; false when the file could not be written.
bool LoadAspList(AspList& list, const std::string& moduleDir);
bool SaveAspList(const AspList& list, const std::string& moduleDir);
bool LoadFtpHostList(FtpHostList& list, const std::string& moduleDir);
bool SaveFtpHostList(const FtpHostList& list, const std::string& moduleDir);
