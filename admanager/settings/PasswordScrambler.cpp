#include "admanager/settings/PasswordScrambler.h"

#include "common/Cp932.h"

#include <algorithm>
#include <cstdint>

const char ScrambleKey[256] = "oi3sUpSxulPxcpN8ZPwcSuUMAbEKpGGZ8637qJxx4ydZWnZp1riavFaugqLAQXzEGEicAzhNVe7Gzh1C4ufM2"
                              "VI69MzDoAzatZRxsoBCCpS0qqKqBTWC21kqE84CvGcBZhVCGVOyrt4WHGg3hxizLGHv3evtZd2lgQXMsmxEGq"
                              "K6jxKJZaUBHtcJcDm9SXazBquTQGXqBP8cu47xMy9alPWTwVaodKtxW8amuMoVnzmpQz3fAHTPj4WBFiZMod4";

namespace ScrambleSteps {
namespace {

constexpr char kEsc = '\x1B';
constexpr std::size_t kKeyLength = sizeof ScrambleKey - 1;

unsigned char At(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

bool IsJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// A Shift_JIS pair at text[i] whose JIS X 0208 code lies in the 7-bit range.
// Leads 0xF0 and above (user-defined and IBM extensions) map beyond it.
bool IsJisPair(std::string_view text, std::size_t i) {
    if (i + 1 >= text.size())
        return false;
    unsigned char lead = At(text, i), trail = At(text, i + 1);
    bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF);
    bool trailOk = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC);
    return leadOk && trailOk;
}

void SjisToJis(unsigned char lead, unsigned char trail, std::string& out) {
    int row = (lead >= 0xE0 ? lead - 0x40 : lead) - 0x81;
    int j1 = row * 2 + 0x21;
    int j2;
    if (trail >= 0x9F) {
        ++j1;
        j2 = trail - 0x7E;
    } else {
        j2 = (trail > 0x7F ? trail - 1 : trail) - 0x1F;
    }
    out += static_cast<char>(j1);
    out += static_cast<char>(j2);
}

void JisToSjis(unsigned char j1, unsigned char j2, std::string& out) {
    int s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    int s2 = (j1 & 1) ? j2 + (j2 > 0x5F ? 0x20 : 0x1F) : j2 + 0x7E;
    out += static_cast<char>(s1);
    out += static_cast<char>(s2);
}

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

} // namespace

std::string JisEncode(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size() * 2 + 8);
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsJisPair(text, i)) {
            out += "\x1B$B";
            // One escape pair around each run of double-byte characters.
            while (IsJisPair(text, i)) {
                SjisToJis(At(text, i), At(text, i + 1), out);
                i += 2;
            }
            out += "\x1B(B";
            continue;
        }
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += '\n';
            i += 2;
            continue;
        }
        // The decoder would take these for a line break or an escape sequence.
        if (c == '\r' || c == '\n' || c == kEsc)
            out += '\r';
        out += c;
        ++i;
    }
    return out;
}

std::string JisDecode(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size() + 8);
    bool doubleByte = false;
    bool afterCr = false; // the previous byte was a CR copied as it is
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = At(text, i);
        if (c == 0x1B && i + 2 < text.size()) {
            std::string_view seq = text.substr(i, 3);
            if (seq == "\x1B$B" || seq == "\x1B$@" || seq == "\x1B(B" || seq == "\x1B(J") {
                doubleByte = seq[1] == '$';
                afterCr = false;
                i += 3;
                continue;
            }
        }
        if (doubleByte && IsJisByte(c) && i + 1 < text.size() && IsJisByte(At(text, i + 1))) {
            JisToSjis(c, At(text, i + 1), out);
            afterCr = false;
            i += 2;
            continue;
        }
        if (c == '\r' && !doubleByte) {
            if (i + 1 < text.size())
                out += text[i + 1];
            afterCr = false;
            i += 2;
            continue;
        }
        if (c == '\n' && !afterCr)
            out += '\r';
        out += static_cast<char>(c);
        afterCr = c == '\r';
        ++i;
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = At(bytes, i) << 16;
        if (n > 1)
            group |= At(bytes, i + 1) << 8;
        if (n > 2)
            group |= At(bytes, i + 2);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}

std::string Base64Decode(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve((text.size() + 3) / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k)
            group = (group << 6) | static_cast<std::uint32_t>(i + k < text.size() ? Base64Value(At(text, i + k)) : 0);
        out += static_cast<char>((group >> 16) & 0xFF);
        out += static_cast<char>((group >> 8) & 0xFF);
        out += static_cast<char>(group & 0xFF);
    }
    return std::string(UpToNul(out));
}

} // namespace ScrambleSteps

std::string ScramblePassword(std::string_view password) {
    using namespace ScrambleSteps;
    std::string t2 = Base64Encode(JisEncode(password));
    std::string t3;
    t3.reserve(t2.size() * 2);
    for (std::size_t i = 0; i < t2.size(); ++i) {
        t3 += t2[i];
        // Past the key's end the key starts over, so long passwords keep every character.
        t3 += ScrambleKey[i % kKeyLength];
    }
    std::string t5 = Base64Encode(t3);
    std::reverse(t5.begin(), t5.end());
    return Base64Encode(t5);
}

std::string UnscramblePassword(std::string_view stored) {
    using namespace ScrambleSteps;
    std::string u2 = Base64Decode(stored);
    std::reverse(u2.begin(), u2.end());
    std::string u3 = Base64Decode(u2);
    std::string u4;
    u4.reserve(u3.size() / 2 + 1);
    for (std::size_t i = 0; i < u3.size(); i += 2)
        u4 += u3[i];
    return JisDecode(Base64Decode(u4));
}
