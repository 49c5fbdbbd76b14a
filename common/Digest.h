#pragma once

#include <string>
#include <string_view>

// Fingerprints of certificates, host keys and published files.
namespace Digest {

// SHA-256 of bytes as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);
// Bytes as lower-case hex digits.
std::string Hex(std::string_view bytes);
// The raw 32-byte SHA-256.
std::string Sha256(std::string_view bytes);
// Standard base64 with padding.
std::string Base64(std::string_view bytes);
// Decodes standard base64; false for anything else.
bool FromBase64(std::string_view text, std::string& bytes);
// "ab:cd:..." in upper case, as certificate viewers show a fingerprint.
std::string ColonHex(std::string_view hex);

} // namespace Digest
