#include "stylemaker/style/StyleSettings.h"

#include "common/Cp932.h"
#include "common/IniProfile.h"

#include <array>
#include <cstdio>

namespace vessilo {

namespace {

constexpr StyleKey IntKey(std::string_view name, StyleKeyKind kind, std::int32_t CStyleSettings::*field,
                          std::int32_t newValue, std::int32_t missing) {
    return {name, kind, field, nullptr, newValue, missing, {}, {}, 0, 0};
}

constexpr StyleKey TextKey(std::string_view name, StyleKeyKind kind, std::string CStyleSettings::*field,
                           std::string_view newValue, std::string_view missing, std::size_t capacity,
                           std::size_t readCapacity) {
    return {name, kind, nullptr, field, 0, 0, newValue, missing, capacity, readCapacity};
}

#define VESSILO_KEY_FLAG(name, newValue, missing)                                                                      \
    IntKey(#name, StyleKeyKind::Flag, &CStyleSettings::name, newValue, missing),
#define VESSILO_KEY_INT(name, newValue, missing)                                                                       \
    IntKey(#name, StyleKeyKind::Integer, &CStyleSettings::name, newValue, missing),
#define VESSILO_KEY_TEXT(name, capacity, newValue, missing)                                                            \
    TextKey(#name, StyleKeyKind::Text, &CStyleSettings::name, newValue, missing, capacity, capacity),
#define VESSILO_KEY_COLOR(name, newValue, missing)                                                                     \
    TextKey(#name, StyleKeyKind::Color, &CStyleSettings::name, newValue, missing, kColorCapacity, kColorReadCapacity),
#define VESSILO_KEY_COMMENT(name)                                                                                      \
    TextKey(#name, StyleKeyKind::Comment, &CStyleSettings::name, "", "", kCommentCapacity, kCommentCapacity),

constexpr std::array kKeys = {
    VESSILO_STYLE_KEYS(VESSILO_KEY_FLAG, VESSILO_KEY_INT, VESSILO_KEY_TEXT, VESSILO_KEY_COLOR, VESSILO_KEY_COMMENT)};

constexpr std::array kExtraKeys = {
    VESSILO_EXTRA_STYLE_KEYS(VESSILO_KEY_FLAG, VESSILO_KEY_INT, VESSILO_KEY_TEXT, VESSILO_KEY_COLOR)};

#undef VESSILO_KEY_FLAG
#undef VESSILO_KEY_INT
#undef VESSILO_KEY_TEXT
#undef VESSILO_KEY_COLOR
#undef VESSILO_KEY_COMMENT

static_assert(kKeys.size() == 121);

bool IsText(const StyleKey& key) {
    return key.textField != nullptr;
}

std::string FormatInt(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return buffer;
}

std::string Replace(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(text.substr(pos));
    return out;
}

} // namespace

std::string RestoreTrimmedMarkers(std::string value) {
    // The INI reader trims tabs at both ends of a value, so a comment that starts or
    // ends with a line break comes back with its outer marker short of a tab.
    constexpr std::string_view tail = kLineBreakMarker.substr(0, kLineBreakMarker.size() - 1);
    constexpr std::string_view head = kLineBreakMarker.substr(1);
    if (value == kLineBreakMarker.substr(1, kLineBreakMarker.size() - 2))
        return std::string(kLineBreakMarker);
    if (value.ends_with(tail))
        value.push_back('\t');
    if (value.starts_with(head))
        value.insert(value.begin(), '\t');
    return value;
}

std::span<const StyleKey> StyleKeys() {
    return kKeys;
}

std::span<const StyleKey> ExtraStyleKeys() {
    return kExtraKeys;
}

bool UsesLabelStyle(const CStyleSettings& s) {
    return s.bLabelHori || s.bLabelTextColor || s.bLabelBackColor || s.bLabelFontSize || s.bLabelMargin;
}

namespace {

bool IsNewValue(const CStyleSettings& s, const StyleKey& key) {
    return IsText(key) ? s.*key.textField == key.newText : s.*key.intField == key.newInt;
}

} // namespace

} // namespace vessilo

using vessilo::StyleKey;
using vessilo::StyleKeyKind;

CStyleSettings::~CStyleSettings() = default;

void CStyleSettings::Reset() {
    for (auto keys : {vessilo::StyleKeys(), vessilo::ExtraStyleKeys()}) {
        for (const StyleKey& key : keys) {
            if (vessilo::IsText(key))
                this->*key.textField = key.newText;
            else
                this->*key.intField = key.newInt;
        }
    }
}

bool CStyleSettings::Equals(const CStyleSettings& other) const {
    for (auto keys : {vessilo::StyleKeys(), vessilo::ExtraStyleKeys()}) {
        for (const StyleKey& key : keys) {
            bool same = vessilo::IsText(key) ? this->*key.textField == other.*key.textField
                                             : this->*key.intField == other.*key.intField;
            if (!same)
                return false;
        }
    }
    return true;
}

void CStyleSettings::CopyFrom(const CStyleSettings& other) {
    if (this != &other)
        *this = other;
}

std::string CStyleSettings::EncodeLineBreaks(std::string_view text) {
    return vessilo::Replace(text, "\r\n", vessilo::kLineBreakMarker);
}

std::string CStyleSettings::DecodeLineBreaks(std::string_view text) {
    return vessilo::Replace(text, vessilo::kLineBreakMarker, "\r\n");
}

bool CStyleSettings::WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value,
                                     const std::string& path) {
    return Profile::WriteString(path, section, key, vessilo::FormatInt(value));
}

bool CStyleSettings::SaveToFile(const std::string& path) const {
    // One read and one write of the file give the same bytes as a profile write
    // per key, and a failure leaves the previous file whole instead of half written.
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        return false;
    doc.SetString(vessilo::kHeadSection, "Head", vessilo::kSignature);
    doc.SetString(vessilo::kHeadSection, "Ver", vessilo::kVersion);
    for (const StyleKey& key : vessilo::StyleKeys()) {
        if (key.kind == StyleKeyKind::Comment)
            doc.SetString(vessilo::kDataSection, key.name, EncodeLineBreaks(this->*key.textField));
        else if (vessilo::IsText(key))
            doc.SetString(vessilo::kDataSection, key.name, this->*key.textField);
        else
            doc.SetString(vessilo::kDataSection, key.name, vessilo::FormatInt(this->*key.intField));
    }
    std::string present;
    for (const StyleKey& key : vessilo::ExtraStyleKeys()) {
        if (vessilo::IsNewValue(*this, key) && !doc.Find(vessilo::kDataSection, key.name, present))
            continue;
        doc.SetString(vessilo::kDataSection, key.name,
                      vessilo::IsText(key) ? this->*key.textField : vessilo::FormatInt(this->*key.intField));
    }
    return doc.Save(path);
}

bool CStyleSettings::LoadFromFile(const std::string& path) {
    IniDocument doc;
    doc.Load(path); // a missing file reads as empty and fails the signature check
    std::string head;
    doc.GetString(vessilo::kHeadSection, "Head", "", head, vessilo::kHeadCapacity);
    if (head != vessilo::kSignature)
        return false;

    for (auto keys : {vessilo::StyleKeys(), vessilo::ExtraStyleKeys()}) {
        for (const StyleKey& key : keys) {
            if (!vessilo::IsText(key)) {
                this->*key.intField = doc.GetInt(vessilo::kDataSection, key.name, key.missingInt);
                continue;
            }
            std::string value;
            doc.GetString(vessilo::kDataSection, key.name, key.missingText, value, key.readCapacity);
            // A zero byte ends a text, as it did in the fixed fields of Windows.
            value = Cp932::Kept(value, key.readCapacity - 1);
            if (key.kind == StyleKeyKind::Comment)
                value = DecodeLineBreaks(vessilo::RestoreTrimmedMarkers(std::move(value)));
            this->*key.textField = std::move(value);
        }
    }
    return true;
}
