#include "common/IniProfile.h"

#include "common/Cp932.h"
#include "common/FileOps.h"

#include <cerrno>
#include <iterator>
#include <sys/stat.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view Unquoted(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::size_t DefaultInto(std::string_view def, std::string& out, std::size_t size) {
    while (!def.empty() && def.back() == ' ')
        def.remove_suffix(1);
    out.assign(def);
    Cp932::CutTo(out, size > 0 ? size - 1 : 0);
    return out.size();
}

} // namespace

std::string IniDocument::FoldName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); i += Cp932::CharLength(folded, i))
        folded[i] = FoldAscii(folded[i]);
    return folded;
}

std::int32_t IniDocument::ParseInt(std::string_view value, std::int32_t def) {
    if (value.empty())
        return def;
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    std::uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    if (negative)
        result = 0u - result;
    return static_cast<std::int32_t>(result);
}

std::string IniDocument::ProtectValue(std::string_view value) {
    bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || Unquoted(value).size() != value.size());
    if (!quote)
        return std::string(value);
    return "\"" + std::string(value) + "\"";
}

bool IniDocument::NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    std::size_t i = 0;
    while (i < a.size()) {
        std::size_t len = Cp932::CharLength(a, i);
        if (len == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
        } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

IniDocument::Parsed IniDocument::Classify(const std::string& text) {
    Parsed p;
    std::string_view t = Trim(text);
    if (t.empty() || t.front() == ';')
        return p;
    if (t.front() == '[') {
        // The last ']' that is a character of its own: 0x5D is also a trail byte.
        std::size_t close = std::string_view::npos;
        for (std::size_t i = 1; i < t.size(); i += Cp932::CharLength(t, i))
            if (t[i] == ']')
                close = i;
        if (close != std::string_view::npos) {
            p.kind = Kind::Section;
            p.name = Trim(t.substr(1, close - 1));
        }
        return p;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = Kind::Key;
    p.name = Trim(t.substr(0, eq));
    p.value = Trim(t.substr(eq + 1));
    return p;
}

bool IniDocument::Load(const std::string& path) {
    std::string bytes;
    bool ok = FileOps::ReadWholeFile(path, bytes);
    Parse(ok ? bytes : std::string());
    return ok;
}

bool IniDocument::LoadForEdit(const std::string& path) {
    // A file that is there but cannot be read must not be replaced by the few
    // lines an edit adds: everything else in it would be lost.
    if (Load(path))
        return true;
    struct stat st {};
    return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

void IniDocument::Parse(std::string_view bytes) {
    m_lines.clear();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t stop = bytes.find_first_of("\r\n", pos);
        Line line;
        if (stop == std::string_view::npos) {
            line.text = std::string(bytes.substr(pos));
            pos = bytes.size();
        } else {
            line.text = std::string(bytes.substr(pos, stop - pos));
            std::size_t endLen = (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') ? 2 : 1;
            line.end = std::string(bytes.substr(stop, endLen));
            pos = stop + endLen;
        }
        m_lines.push_back(std::move(line));
    }
}

std::string IniDocument::Bytes() const {
    std::size_t size = 0;
    for (const auto& l : m_lines)
        size += l.text.size() + l.end.size();
    std::string out;
    out.reserve(size);
    for (const auto& l : m_lines) {
        out += l.text;
        out += l.end;
    }
    return out;
}

bool IniDocument::Save(const std::string& path, bool privateFile) const {
    return FileOps::ReplaceFileAtomic(path, Bytes(), privateFile);
}

std::size_t IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        Parsed p = Classify(m_lines[i].text);
        if (p.kind == Kind::Section && NamesEqual(p.name, section))
            return i;
    }
    return std::string::npos;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && Classify(m_lines[i].text).kind != Kind::Section)
        ++i;
    return i;
}

std::size_t IniDocument::FindKey(std::size_t header, std::string_view key) const {
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        Parsed p = Classify(m_lines[i].text);
        if (p.kind == Kind::Key && NamesEqual(p.name, key))
            return i;
    }
    return std::string::npos;
}

bool IniDocument::HasSection(std::string_view section) const { return FindSection(section) != std::string::npos; }

bool IniDocument::Find(std::string_view section, std::string_view key, std::string& value) const {
    std::size_t header = FindSection(section);
    if (header == std::string::npos)
        return false;
    std::size_t at = FindKey(header, key);
    if (at == std::string::npos)
        return false;
    value.assign(Unquoted(Classify(m_lines[at].text).value));
    return true;
}

std::size_t IniDocument::GetString(std::string_view section, std::string_view key, std::string_view def,
                                   std::string& out, std::size_t size) const {
    if (!Find(section, key, out))
        return DefaultInto(def, out, size);
    Cp932::CutTo(out, size > 0 ? size - 1 : 0);
    return out.size();
}

std::int32_t IniDocument::GetInt(std::string_view section, std::string_view key, std::int32_t def) const {
    std::string value;
    if (!Find(section, key, value))
        return def;
    return ParseInt(value, def);
}

IniSection IniDocument::Section(std::string_view section) const {
    IniSection result;
    std::size_t header = FindSection(section);
    if (header == std::string::npos)
        return result;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        Parsed p = Classify(m_lines[i].text);
        if (p.kind == Kind::Key)
            result.m_values.emplace(FoldName(p.name), std::string(Unquoted(p.value))); // first one wins
    }
    return result;
}

bool IniSection::Find(std::string_view key, std::string& value) const {
    auto it = m_values.find(IniDocument::FoldName(key));
    if (it == m_values.end())
        return false;
    value = it->second;
    return true;
}

std::size_t IniSection::GetString(std::string_view key, std::string_view def, std::string& out,
                                  std::size_t size) const {
    if (!Find(key, out))
        return DefaultInto(def, out, size);
    Cp932::CutTo(out, size > 0 ? size - 1 : 0);
    return out.size();
}

std::int32_t IniSection::GetInt(std::string_view key, std::int32_t def) const {
    auto it = m_values.find(IniDocument::FoldName(key));
    return it == m_values.end() ? def : IniDocument::ParseInt(it->second, def);
}

void IniDocument::InsertLine(std::size_t at, std::string text) {
    // A last line without a line end gets one before anything follows it.
    if (at > 0 && m_lines[at - 1].end.empty())
        m_lines[at - 1].end = "\r\n";
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), "\r\n"});
}

void IniDocument::AppendLine(std::string text) { InsertLine(m_lines.size(), std::move(text)); }

void IniDocument::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        AppendLine("[" + std::string(section) + "]");
        AppendLine(std::string(key) + "=" + std::string(value));
        return;
    }
    std::size_t at = FindKey(header, key);
    if (at != std::string::npos) {
        Line& line = m_lines[at];
        line.text = std::string(Classify(line.text).name) + "=" + std::string(value);
        if (line.end.empty() && at + 1 < m_lines.size())
            line.end = "\r\n";
        return;
    }
    std::size_t insertAt = header + 1;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (Classify(m_lines[i].text).kind == Kind::Key)
            insertAt = i + 1;
    InsertLine(insertAt, std::string(key) + "=" + std::string(value));
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
    std::size_t header = FindSection(section);
    if (header == std::string::npos)
        return;
    std::size_t at = FindKey(header, key);
    if (at != std::string::npos)
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(at));
}

void IniDocument::DeleteSection(std::string_view section) {
    std::size_t header = FindSection(section);
    if (header == std::string::npos)
        return;
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
}

void IniDocument::SetSection(std::string_view section, const std::vector<std::string>& lines) {
    std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        AppendLine("[" + std::string(section) + "]");
        header = m_lines.size() - 1;
    } else if (m_lines[header].end.empty() && !lines.empty()) {
        m_lines[header].end = "\r\n"; // a header on the last line without a line end
    }
    std::size_t end = SectionEnd(header);
    std::vector<Line> block;
    block.reserve(lines.size());
    for (const auto& l : lines)
        block.push_back(Line{l, "\r\n"});
    // Replaced in one step: inserting line by line is quadratic on long lists.
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header + 1),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(header + 1), std::make_move_iterator(block.begin()),
                   std::make_move_iterator(block.end()));
}

namespace Profile {


std::size_t GetString(const std::string& file, std::string_view section, std::string_view key, std::string_view def,
                      std::string& out, std::size_t size) {
    IniDocument doc;
    doc.Load(file);
    return doc.GetString(section, key, def, out, size);
}

std::int32_t GetInt(const std::string& file, std::string_view section, std::string_view key, std::int32_t def) {
    IniDocument doc;
    doc.Load(file);
    return doc.GetInt(section, key, def);
}

bool WriteString(const std::string& file, const char* section, const std::string* key, const std::string* value) {
    IniDocument doc;
    if (!doc.LoadForEdit(file))
        return false;
    if (!key)
        doc.DeleteSection(section);
    else if (!value)
        doc.DeleteKey(section, *key);
    else
        doc.SetString(section, *key, *value);
    return doc.Save(file);
}

bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
    IniDocument doc;
    if (!doc.LoadForEdit(file))
        return false;
    doc.SetString(section, key, value);
    return doc.Save(file);
}

bool WriteSection(const std::string& file, std::string_view section, const std::vector<std::string>& lines) {
    IniDocument doc;
    if (!doc.LoadForEdit(file))
        return false;
    doc.SetSection(section, lines);
    return doc.Save(file);
}

} // namespace Profile
