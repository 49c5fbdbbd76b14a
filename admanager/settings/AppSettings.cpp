#include "admanager/settings/AppSettings.h"

#include "common/Cp932.h"
#include "common/IniProfile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

namespace SettingsFile {

std::string PathIn(const std::string& moduleDir) { return moduleDir + kFileName; }

std::string LineValue(std::string_view text) {
    std::string value(text.substr(0, text.find('\0')));
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    return IniDocument::ProtectValue(value);
}

} // namespace SettingsFile

namespace {

constexpr std::size_t kIntTextCapacity = 255;

std::int32_t ReadGeometry(const IniSection& section, std::string_view key, std::int32_t def) {
    std::string text;
    if (section.GetString(key, "", text, kIntTextCapacity) == 0)
        return def;
    return SettingsFile::DecimalValue(text);
}

std::string IntText(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

constexpr std::array<SettingsKey, 14> kKeys{{
    {"last_index", SettingsKey::Kind::Int, &AppSettings::lastIndex, 0},
    {"preview", SettingsKey::Kind::Int, &AppSettings::preview, 0},
    {"use_last_file", SettingsKey::Kind::Int, &AppSettings::useLastFile, 1},
    {"last_file", SettingsKey::Kind::Text, nullptr, 0},
    {"check_version", SettingsKey::Kind::Int, &AppSettings::checkVersion, 1},
    {"regist_message", SettingsKey::Kind::Int, &AppSettings::registMessage, 1},
    {"x_pos", SettingsKey::Kind::Geometry, &AppSettings::xPos, -1},
    {"y_pos", SettingsKey::Kind::Geometry, &AppSettings::yPos, -1},
    {"width", SettingsKey::Kind::Geometry, &AppSettings::width, -1},
    {"height", SettingsKey::Kind::Geometry, &AppSettings::height, -1},
    {"left_w", SettingsKey::Kind::Geometry, &AppSettings::leftW, -1},
    {"right_w", SettingsKey::Kind::Geometry, &AppSettings::rightW, -1},
    {"top_h", SettingsKey::Kind::Geometry, &AppSettings::topH, -1},
    {"bottom_h", SettingsKey::Kind::Geometry, &AppSettings::bottomH, -1},
}};

constexpr std::array<OptionalSettingsKey, 5> kOptionalKeys{{
    {"ad_label", &AppSettings::adLabel, 0},
    {"ad_label_text", nullptr, 0},
    {"ad_label_position", &AppSettings::adLabelPosition, 0},
    {"sponsored_rel", &AppSettings::sponsoredRel, 0},
    {"lazy_images", &AppSettings::lazyImages, 0},
}};

constexpr std::array<const char*, 3> kSuggestedLabels{"広告", "PR", "プロモーション"};

} // namespace

std::string AppSettings::DefaultLabelText() {
    return Cp932::FromUtf8("広告");
}

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

std::span<const OptionalSettingsKey> OptionalSettingsKeys() {
    return kOptionalKeys;
}

std::span<const char* const> SuggestedLabelTexts() {
    return kSuggestedLabels;
}

std::int32_t ReadProfileInt(std::string_view section, std::string_view key, std::int32_t def,
                            const std::string& fileName) {
    IniDocument doc;
    doc.Load(fileName);
    return ReadGeometry(doc.Section(section), key, def);
}

bool WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value, const std::string& fileName) {
    return Profile::WriteString(fileName, section, key, IntText(value));
}

void ReadSettings(const IniDocument& doc, AppSettings& settings) {
    IniSection section = doc.Section(SettingsFile::kSettingSection);
    for (const SettingsKey& key : kKeys) {
        switch (key.kind) {
        case SettingsKey::Kind::Int:
            settings.*key.field = section.GetInt(key.name, key.def);
            break;
        case SettingsKey::Kind::Geometry:
            settings.*key.field = ReadGeometry(section, key.name, key.def);
            break;
        case SettingsKey::Kind::Text:
            section.GetString(key.name, "", settings.lastFile, AppSettings::kLastFileBytes + 1);
            settings.lastFile = Cp932::Kept(settings.lastFile, AppSettings::kLastFileBytes);
            break;
        }
    }
    for (const OptionalSettingsKey& key : kOptionalKeys) {
        if (key.field) {
            settings.*key.field = section.GetInt(key.name, key.def);
            continue;
        }
        std::string text;
        if (section.GetString(key.name, "", text, AppSettings::kLabelTextBytes + 1) > 0)
            settings.adLabelText = Cp932::Kept(text, AppSettings::kLabelTextBytes);
        else
            settings.adLabelText = AppSettings::DefaultLabelText(); // a label needs a word
    }
}

void StoreSettings(IniDocument& doc, const AppSettings& settings) {
    for (const SettingsKey& key : kKeys) {
        if (key.kind != SettingsKey::Kind::Text) {
            doc.SetString(SettingsFile::kSettingSection, key.name, IntText(settings.*key.field));
            continue;
        }
        // A path with a line break cannot be one INI value; split, its tail
        // would become lines of their own. Forgetting it is the lesser harm.
        std::string_view path = settings.lastFile;
        path = path.substr(0, path.find('\0'));
        if (path.find_first_of("\r\n") != std::string_view::npos)
            path = {};
        doc.SetString(SettingsFile::kSettingSection, key.name, SettingsFile::LineValue(path));
    }
    std::string present;
    for (const OptionalSettingsKey& key : kOptionalKeys) {
        const bool inFile = doc.Find(SettingsFile::kSettingSection, key.name, present);
        if (key.field) {
            if (inFile || settings.*key.field != key.def)
                doc.SetString(SettingsFile::kSettingSection, key.name, IntText(settings.*key.field));
            continue;
        }
        std::string text = Cp932::Kept(settings.adLabelText, AppSettings::kLabelTextBytes);
        if (inFile || text != AppSettings::DefaultLabelText())
            doc.SetString(SettingsFile::kSettingSection, key.name, SettingsFile::LineValue(text));
    }
}

bool LoadSettings(AppSettings& settings, const std::string& moduleDir) {
    IniDocument doc;
    bool ok = doc.LoadForEdit(SettingsFile::PathIn(moduleDir));
    settings = AppSettings{};
    ReadSettings(doc, settings);
    return ok;
}

bool SaveSettings(const AppSettings& settings, const std::string& moduleDir) {
    // One read and one write give the same bytes as one profile write per key.
    const std::string path = SettingsFile::PathIn(moduleDir);
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        return false;
    StoreSettings(doc, settings);
    return doc.Save(path, true); // it holds the scrambled passwords
}
