#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Every text the model holds is CP932 bytes; these helpers convert at the edges
// and cut texts without splitting a double-byte character.
namespace Cp932 {

// First byte of a double-byte character.
constexpr bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Second byte of a double-byte character.
constexpr bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Length in bytes of the character starting at text[pos]: 2 for a lead byte that
// has any byte after it, else 1.
inline std::size_t CharLength(std::string_view text, std::size_t pos) {
    return (IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) ? 2 : 1;
}

// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::size_t CutLength(std::string_view text, std::size_t maxBytes);

// Cuts text in place to at most maxBytes bytes at a character boundary.
void CutTo(std::string& text, std::size_t maxBytes);

// Same, also dropping everything from the first NUL (texts are zero-terminated
// in the files that came from Windows).
std::string Kept(std::string_view text, std::size_t maxBytes);
// The same as a view into text, for filling a string in place.
std::string_view KeptView(std::string_view text, std::size_t maxBytes);

// UTF-8 to CP932; characters CP932 cannot hold become "?", as Windows does.
std::string FromUtf8(std::string_view utf8);

// CP932 to UTF-8; bytes that are not valid CP932 become U+FFFD.
std::string ToUtf8(std::string_view cp932);

} // namespace Cp932
