#include "common/Digest.h"

#include <openssl/evp.h>

namespace Digest {

std::string Sha256(std::string_view bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr))
        return {};
    return std::string(reinterpret_cast<const char*>(md), len);
}

std::string Hex(std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string Sha256Hex(std::string_view bytes) { return Hex(Sha256(bytes)); }

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

bool FromBase64(std::string_view text, std::string& bytes) {
    if (text.size() % 4 != 0)
        return false;
    std::string out(text.size() / 4 * 3 + 1, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0)
        return false;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i)
        --size;
    out.resize(size);
    bytes = std::move(out);
    return true;
}

std::string ColonHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0)
            out += ':';
        for (std::size_t j = i; j < i + 2 && j < hex.size(); ++j)
            out += static_cast<char>(hex[j] >= 'a' && hex[j] <= 'f' ? hex[j] - 'a' + 'A' : hex[j]);
    }
    return out;
}

} // namespace Digest
