#pragma once

#include <string>
#include <string_view>

// Our own file of accepted SSH host keys, in the OpenSSH known_hosts format
// ("[host]:port type base64" or "host type base64" for port 22) so a user can
// read it or compare it with ~/.ssh/known_hosts. Only plain host patterns are
// written and recognised; other lines are kept as they are.
namespace KnownHosts {

constexpr const char* kFileName = "known_hosts";

std::string HostPattern(std::string_view host, int port);

enum class Match {
    Found,     // the same key is recorded for the host
    Different, // another key of that type is recorded for it
    Missing,   // nothing of that type is recorded for it
};

Match Check(const std::string& path, std::string_view pattern, std::string_view keyType, std::string_view keyBase64);

// Records the key for the host, replacing a key of that type recorded before.
// False when the file could not be written.
bool Remember(const std::string& path, std::string_view pattern, std::string_view keyType,
              std::string_view keyBase64);

} // namespace KnownHosts
