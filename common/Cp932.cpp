#include "common/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace Cp932 {
namespace {

// iconv descriptors are expensive to open; keep one per direction and thread.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns the number of input bytes consumed
    // before an unconvertible sequence (or all of them).
    std::size_t Run(std::string_view in, std::string& out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG)
                break;
        }
        return in.size() - srcLeft;
    }

private:
    iconv_t m_cd;
};

Converter& ToCp932() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

Converter& ToUtf8Conv() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

// Length of the (possibly broken) UTF-8 sequence at the start of s, at least 1.
std::size_t Utf8SequenceLength(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    std::size_t i = 1;
    while (i < n && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
    return i;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::size_t CutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    std::size_t pos = 0;
    while (pos < maxBytes) {
        std::size_t len = CharLength(text, pos);
        if (pos + len > maxBytes)
            break;
        pos += len;
    }
    return pos;
}

void CutTo(std::string& text, std::size_t maxBytes) { text.resize(CutLength(text, maxBytes)); }

std::string_view KeptView(std::string_view text, std::size_t maxBytes) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    return text.substr(0, CutLength(text, maxBytes));
}

std::string Kept(std::string_view text, std::size_t maxBytes) { return std::string(KeptView(text, maxBytes)); }

std::string FromUtf8(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    Converter& conv = ToCp932();
    if (!conv.Valid())
        return std::string(utf8);
    while (!utf8.empty()) {
        std::size_t used = conv.Run(utf8, out);
        utf8.remove_prefix(used);
        if (!utf8.empty()) {
            out.push_back('?');
            utf8.remove_prefix(Utf8SequenceLength(utf8));
        }
    }
    return out;
}

std::string ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932))
        return std::string(cp932);
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    Converter& conv = ToUtf8Conv();
    if (!conv.Valid())
        return std::string(cp932);
    while (!cp932.empty()) {
        std::size_t used = conv.Run(cp932, out);
        cp932.remove_prefix(used);
        if (!cp932.empty()) {
            out.append("\xEF\xBF\xBD");
            // Skip one byte only, so a broken lead byte does not swallow the
            // character after it.
            cp932.remove_prefix(1);
        }
    }
    return out;
}

} // namespace Cp932
