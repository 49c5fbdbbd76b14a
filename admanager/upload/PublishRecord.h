#pragma once

#include "admanager/settings/AccountLists.h"

#include <functional>
#include <map>
#include <string>

// What was last published from this machine, by destination: where a file
// landed (protocol, user, host, port, the host's folder and the remote name, or
// a local path) and the SHA-256 of the bytes that landed there. Keyed by the
// place, not by the ad item, so a copy of a library or two items sharing a
// remote file can never make a stale file look current. Kept as JSON in the
// state folder, never in the library.
class PublishRecord {
public:
    static constexpr const char* kFileName = "published.json";

    // A missing file is an empty record; false when the file is there but
    // cannot be read or is not a record (then the record is empty too).
    // Records of the earlier per-item form are dropped: their files are sent
    // again once.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    // Under an exclusive lock beside the file: reads what is there now (what
    // other programs wrote meanwhile), applies change, writes it back. *this
    // is then the merged record. False when it could not be read or written.
    bool Update(const std::string& path, const std::function<void(PublishRecord&)>& change);

    const std::string* Find(const std::string& destination) const;
    void Set(const std::string& destination, std::string sha256);
    void Erase(const std::string& destination);
    std::size_t Size() const { return m_files.size(); }

private:
    std::map<std::string, std::string> m_files;
};

// Names where a host setting's files land: protocol, user, host, port and
// directory (UTF-8).
std::string HostKeyText(const FtpHostEntry& host);
// A remote file: the host's place and the name under its folder.
std::string RemoteDestination(const FtpHostEntry& host, const std::string& remoteName);
// A local file by its absolute path.
std::string LocalDestination(const std::string& localPath);
