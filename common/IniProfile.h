#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class IniSection;

// INI files read and written with the observable rules of the Windows profile
// functions, on CP932 bytes: users bring files written on Windows and take ours
// back there.

// One INI file in memory. Lines the edits do not touch keep their bytes,
// including their line ends; new lines end in CR LF.
class IniDocument {
public:
    // Reads path; a missing or unreadable file gives an empty document and false.
    bool Load(const std::string& path);
    // Reads path before changing and saving it: a missing file gives an empty
    // document and true; a file that exists but cannot be read gives false.
    bool LoadForEdit(const std::string& path);
    void Parse(std::string_view bytes);
    std::string Bytes() const;
    // Writes the whole document through an atomic replace. A missing directory or
    // a file that may not be written gives false and leaves the file as it was.
    // privateFile: the file holds secrets (scrambled passwords): readable by the user alone.
    bool Save(const std::string& path, bool privateFile = false) const;

    // The value of the first key of that name in the first section of that name,
    // trimmed, without a surrounding pair of equal quotes. False when missing.
    bool Find(std::string_view section, std::string_view key, std::string& value) const;
    bool HasSection(std::string_view section) const;
    // The keys of the first section of that name, for many lookups in one pass.
    IniSection Section(std::string_view section) const;

    // GetPrivateProfileString: out gets at most size - 1 bytes (cut at a character
    // boundary); a missing key gives def without its trailing spaces. Returns the
    // number of bytes in out.
    std::size_t GetString(std::string_view section, std::string_view key, std::string_view def, std::string& out,
                          std::size_t size) const;
    // GetPrivateProfileInt: optional blanks and sign, then digits up to the first
    // other character, wrapping modulo 2^32; missing or empty gives def.
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t def) const;

    // WritePrivateProfileString with a value: replaces the first occurrence in
    // place (keeping the key's spelling), or adds the key after the last key of
    // its section, or adds the section at the end.
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    // WritePrivateProfileString with a null value.
    void DeleteKey(std::string_view section, std::string_view key);
    // WritePrivateProfileString with a null key.
    void DeleteSection(std::string_view section);
    // WritePrivateProfileSection: the section's lines become the given
    // "key=value" lines; a missing section is added at the end.
    void SetSection(std::string_view section, const std::vector<std::string>& lines);

    // Case-insensitive comparison of names on characters: ASCII letters fold,
    // bytes inside a double-byte character never do.
    static bool NamesEqual(std::string_view a, std::string_view b);
    // The name with every single-byte ASCII letter upper-cased: equal folds mean
    // NamesEqual.
    static std::string FoldName(std::string_view name);
    // The integer rule of GetPrivateProfileInt applied to a value already looked up.
    static std::int32_t ParseInt(std::string_view value, std::int32_t def);
    // A value written so that reading it back gives exactly value again: one with
    // blanks at either end, or already wrapped in a pair of quotes, gets a pair of
    // quotes (the reader trims and drops one pair). Line breaks cannot be kept by
    // any INI line and are not handled here.
    static std::string ProtectValue(std::string_view value);

private:
    struct Line {
        std::string text; // without its line end
        std::string end;  // "\r\n", "\n", "\r" or "" for a last line without one
    };
    enum class Kind { Other, Section, Key };
    struct Parsed {
        Kind kind = Kind::Other;
        std::string_view name;
        std::string_view value;
    };

    static Parsed Classify(const std::string& text);
    // Index of the header of the first section of that name, or npos.
    std::size_t FindSection(std::string_view section) const;
    // One past the last line of the section whose header is at header.
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    void InsertLine(std::size_t at, std::string text);
    void AppendLine(std::string text);

    std::vector<Line> m_lines;
};

// A snapshot of one section's keys with the lookup rules of IniDocument: the
// first key of a name wins, values are trimmed and lose a pair of quotes.
class IniSection {
public:
    bool Find(std::string_view key, std::string& value) const;
    std::size_t GetString(std::string_view key, std::string_view def, std::string& out, std::size_t size) const;
    std::int32_t GetInt(std::string_view key, std::int32_t def) const;

private:
    friend class IniDocument;
    std::unordered_map<std::string, std::string> m_values; // folded name -> value
};

// The profile functions themselves: each call reads the file and each write
// rewrites it whole.
namespace Profile {

std::size_t GetString(const std::string& file, std::string_view section, std::string_view key, std::string_view def,
                      std::string& out, std::size_t size);
std::int32_t GetInt(const std::string& file, std::string_view section, std::string_view key, std::int32_t def);
// value == nullptr deletes the key; key == nullptr deletes the section.
bool WriteString(const std::string& file, const char* section, const std::string* key, const std::string* value);
bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value);
bool WriteSection(const std::string& file, std::string_view section, const std::vector<std::string>& lines);

} // namespace Profile
