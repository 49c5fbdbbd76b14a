#include "admanager/upload/Transport.h"

#include "admanager/upload/KnownHosts.h"
#include "common/Cp932.h"
#include "common/Digest.h"

#include <cstdint>
#include <cstdio>
#include <random>

std::string SshNameField(std::string_view blob) {
    if (blob.size() < 4)
        return {};
    std::uint32_t len = (std::uint32_t(static_cast<unsigned char>(blob[0])) << 24) |
                        (std::uint32_t(static_cast<unsigned char>(blob[1])) << 16) |
                        (std::uint32_t(static_cast<unsigned char>(blob[2])) << 8) |
                        std::uint32_t(static_cast<unsigned char>(blob[3]));
    if (len == 0 || len > 64 || len > blob.size() - 4)
        return {};
    std::string type(blob.substr(4, len));
    for (char c : type)
        if (c <= ' ' || c >= 0x7F)
            return {};
    return type;
}

bool SafeOnCommandLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos;
}

bool UnsafeRemoteName(const std::string& remoteName) {
    if (!SafeOnCommandLine(remoteName))
        return true;
    // Scanned by characters: a CP932 trail byte can be 0x5C, the backslash,
    // which Windows servers take as a separator.
    std::size_t start = 0;
    for (std::size_t pos = 0;; pos += Cp932::CharLength(remoteName, pos)) {
        bool end = pos >= remoteName.size();
        if (end || (Cp932::CharLength(remoteName, pos) == 1 && (remoteName[pos] == '/' || remoteName[pos] == '\\'))) {
            if (std::string_view(remoteName).substr(start, pos - start) == "..")
                return true;
            start = pos + 1;
        }
        if (end)
            return false;
    }
}

std::vector<std::string> FoldersOf(const std::string& remoteName) {
    std::vector<std::string> folders;
    for (std::size_t pos = remoteName.find('/'); pos != std::string::npos; pos = remoteName.find('/', pos + 1))
        if (pos > 0 && remoteName[pos - 1] != '/')
            folders.push_back(remoteName.substr(0, pos));
    return folders;
}

std::string PartName(const std::string& remoteName) {
    static thread_local std::mt19937 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".zova%06x.part", static_cast<unsigned>(random() & 0xFFFFFF));
    return remoteName + suffix;
}

PeerIdentity CheckHostKey(std::string_view blob, const std::string& pin, const std::string& knownHostsPath,
                          const std::string& host, long port) {
    PeerIdentity id;
    id.kind = PeerIdentity::Kind::HostKey;
    id.sha256 = Digest::Sha256Hex(blob);
    id.keyType = SshNameField(blob);
    id.keyBase64 = Digest::Base64(blob);
    id.sshFingerprint = SshFingerprint(id.sha256);
    const std::string pattern = KnownHosts::HostPattern(host, static_cast<int>(port));
    if (id.keyType.empty()) {
        id.trust = PeerIdentity::Trust::Unknown;
    } else if (!pin.empty()) {
        id.trust = id.sha256 == pin ? PeerIdentity::Trust::Pinned : PeerIdentity::Trust::Changed;
        // Keeps our known hosts in line with a fingerprint the user imported.
        if (id.trust == PeerIdentity::Trust::Pinned && !knownHostsPath.empty() &&
            KnownHosts::Check(knownHostsPath, pattern, id.keyType, id.keyBase64) != KnownHosts::Match::Found)
            KnownHosts::Remember(knownHostsPath, pattern, id.keyType, id.keyBase64);
    } else if (!knownHostsPath.empty()) {
        switch (KnownHosts::Check(knownHostsPath, pattern, id.keyType, id.keyBase64)) {
        case KnownHosts::Match::Found:
            id.trust = PeerIdentity::Trust::Pinned;
            break;
        case KnownHosts::Match::Different:
            id.trust = PeerIdentity::Trust::Changed;
            break;
        case KnownHosts::Match::Missing:
            id.trust = PeerIdentity::Trust::Unknown;
            break;
        }
    } else {
        id.trust = PeerIdentity::Trust::Unknown;
    }
    return id;
}
