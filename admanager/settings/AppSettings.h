#pragma once

#include "common/DecimalValue.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class IniDocument;

// The settings file beside the programs and the application settings in its
// section "ZOVA_AF_SETTING".
namespace SettingsFile {

constexpr char kFileName[] = "zova_af.ini";
constexpr char kSettingSection[] = "ZOVA_AF_SETTING";
constexpr char kAspSection[] = "ZOVA_AF_ASPLIST";
constexpr char kFtpSection[] = "ZOVA_AF_FTPSETTING";

// The settings file of a module directory (which ends in '/').
std::string PathIn(const std::string& moduleDir);

// A value as it can be written on one INI line and read back unchanged: cut at
// a NUL (texts are zero-terminated), line breaks made spaces, protected by
// quotes where the reader would trim or unquote it.
std::string LineValue(std::string_view text);

using ::DecimalValue;

} // namespace SettingsFile

struct AppSettings {
    std::int32_t lastIndex = 0;
    std::int32_t preview = 0;
    std::int32_t useLastFile = 1;
    std::string lastFile;
    std::int32_t checkVersion = 1;
    std::int32_t registMessage = 1;
    std::int32_t xPos = -1;
    std::int32_t yPos = -1;
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::int32_t leftW = -1;
    std::int32_t rightW = -1;
    std::int32_t topH = -1;
    std::int32_t bottomH = -1;

    // Opt-in output settings, kept after the keys above. A file that never had
    // them reads these defaults, and they are written only once they differ from
    // them (or the file already holds them), so an untouched file stays as it was.
    std::int32_t adLabel = 0;                     // ad_label: write the advertising label
    std::string adLabelText = DefaultLabelText(); // ad_label_text (CP932)
    std::int32_t adLabelPosition = 0;             // ad_label_position: 0 above the block, 1 in every cell
    std::int32_t sponsoredRel = 0;                // sponsored_rel: rel="sponsored" on links without rel
    std::int32_t lazyImages = 0;                  // lazy_images: loading="lazy" on images without it

    // last_file is read with room for 254 bytes.
    static constexpr std::size_t kLastFileBytes = 254;
    // The label text is a short word; the field keeps this many bytes.
    static constexpr std::size_t kLabelTextBytes = 62;
    // "広告" in CP932.
    static std::string DefaultLabelText();

    bool operator==(const AppSettings&) const = default;
};

// One key of "ZOVA_AF_SETTING", in the order the keys are written.
struct SettingsKey {
    enum class Kind {
        Int,      // profile integer
        Geometry, // text, then decimal conversion, so negatives survive
        Text,     // last_file
    };
    const char* name;
    Kind kind;
    std::int32_t AppSettings::*field; // null for the text key
    std::int32_t def;
};
std::span<const SettingsKey> SettingsKeys();

// The opt-in keys after them, in the order they are added to a file.
struct OptionalSettingsKey {
    const char* name;
    std::int32_t AppSettings::*field; // null for the label text
    std::int32_t def;
};
std::span<const OptionalSettingsKey> OptionalSettingsKeys();

// The label texts offered besides whatever the user types (UTF-8).
std::span<const char* const> SuggestedLabelTexts();

// The key as a decimal text (capacity 255); missing or empty gives def. Leading
// blanks and a sign are taken, conversion stops at the first non-digit, and
// values beyond 32 bits saturate.
std::int32_t ReadProfileInt(std::string_view section, std::string_view key, std::int32_t def,
                            const std::string& fileName);
// Writes value as "%d". False when the file could not be written.
bool WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value, const std::string& fileName);

// The same on a document already read, so one file can take several sections.
void ReadSettings(const IniDocument& doc, AppSettings& settings);
void StoreSettings(IniDocument& doc, const AppSettings& settings);

// Fills settings from the module directory's settings file; a missing file
// gives the defaults. False only when the file exists but cannot be read.
bool LoadSettings(AppSettings& settings, const std::string& moduleDir);
// Writes every key in table order; the rest of the file stays as it was. False
// when the file could not be written.
bool SaveSettings(const AppSettings& settings, const std::string& moduleDir);
