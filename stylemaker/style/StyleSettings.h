#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The style setting that Vessilo edits, and its .zvc file: an INI file with a
// signature section and one key per field. Texts are CP932 bytes.

// Every key of the data section in file order. The columns are the value of a new
// document and the value a load gives when the key is missing; the two differ in
// four places, and files rely on both.
//   FLAG(name, new, missing)        32-bit flag, 0 off
//   INT(name, new, missing)         32-bit integer
//   TEXT(name, capacity, new, missing)  text; capacity counts the terminating zero
//   COLOR(name, new, missing)       colour text: 16 bytes kept, at most 7 loaded
//   COMMENT(name)                   multi-line text, stored with encoded line breaks
#define VESSILO_STYLE_KEYS(FLAG, INT, TEXT, COLOR, COMMENT)                                                            \
    TEXT(szName, 256, "", "")                                                                                          \
    COMMENT(szComment)                                                                                                 \
    TEXT(szTagID, 256, "", "")                                                                                         \
    TEXT(szLastCss, 260, "", "")                                                                                       \
    FLAG(bFrameWidth, 0, 0)                                                                                            \
    INT(nFrameWidth, 640, 0)                                                                                           \
    TEXT(szFrameWidthUnit, 16, "px", "px")                                                                             \
    FLAG(bFrameBorder, 0, 0)                                                                                           \
    TEXT(szFrameBorderStyle, 16, "solid", "solid")                                                                     \
    INT(nFrameBorder, 1, 1)                                                                                            \
    COLOR(szFrameBorderColor, "#000000", "#000000")                                                                    \
    FLAG(bFrameTextColor, 0, 0)                                                                                        \
    COLOR(szFrameTextColor, "#000000", "#000000")                                                                      \
    FLAG(bFrameBackColor, 0, 0)                                                                                        \
    COLOR(szFrameBackColor, "#FFFFFF", "#FFFFFF")                                                                      \
    FLAG(bFrameFontSize, 0, 0)                                                                                         \
    INT(nFrameFontSize, 11, 11)                                                                                        \
    TEXT(szFrameFontSizeUnit, 16, "px", "px")                                                                          \
    FLAG(bFrameFontBorld, 0, 0)                                                                                        \
    FLAG(bFrameFontItalic, 0, 0)                                                                                       \
    FLAG(bFrameMargin, 0, 0)                                                                                           \
    INT(nFrameMarginLeft, 5, 5)                                                                                        \
    INT(nFrameMarginRight, 5, 5)                                                                                       \
    INT(nFrameMarginTop, 5, 5)                                                                                         \
    INT(nFrameMarginBottom, 5, 5)                                                                                      \
    FLAG(bDataHori, 0, 0)                                                                                              \
    TEXT(szDataHori, 16, "left", "left")                                                                               \
    FLAG(bDataVert, 0, 0)                                                                                              \
    TEXT(szDataVert, 16, "top", "top")                                                                                 \
    FLAG(bAdvWidth, 0, 0)                                                                                              \
    INT(nAdvWidth, 160, 160)                                                                                           \
    TEXT(szAdvWidthUnit, 16, "px", "px")                                                                               \
    FLAG(bAdvHeight, 0, 0)                                                                                             \
    INT(nAdvHeight, 100, 100)                                                                                          \
    TEXT(szAdvHeightUnit, 16, "px", "px")                                                                              \
    FLAG(bAdvBorder, 0, 0)                                                                                             \
    TEXT(szAdvBorderStyle, 16, "solid", "solid")                                                                       \
    INT(nAdvBorder, 1, 1)                                                                                              \
    COLOR(szAdvBorderColor, "#000000", "#000000")                                                                      \
    FLAG(bAdvTextColor, 0, 0)                                                                                          \
    COLOR(szAdvTextColor, "#000000", "#000000")                                                                        \
    FLAG(bAdvBackColor, 0, 0)                                                                                          \
    COLOR(szAdvBackColor, "#FFFFFF", "#FFFFFF")                                                                        \
    FLAG(bAdvFontSize, 0, 0)                                                                                           \
    INT(nAdvFontSize, 11, 11)                                                                                          \
    TEXT(szAdvFontSizeUnit, 16, "px", "px")                                                                            \
    FLAG(bAdvFontBorld, 0, 0)                                                                                          \
    FLAG(bAdvFontItalic, 0, 0)                                                                                         \
    FLAG(bAdvPadding, 0, 0)                                                                                            \
    INT(nAdvPaddingLeft, 5, 5)                                                                                         \
    INT(nAdvPaddingRight, 5, 5)                                                                                        \
    INT(nAdvPaddingTop, 5, 5)                                                                                          \
    INT(nAdvPaddingBottom, 5, 5)                                                                                       \
    FLAG(bAdvMargin, 0, 0)                                                                                             \
    INT(nAdvMarginLeft, 5, 5)                                                                                          \
    INT(nAdvMarginRight, 5, 5)                                                                                         \
    INT(nAdvMarginTop, 5, 5)                                                                                           \
    INT(nAdvMarginBottom, 5, 5)                                                                                        \
    FLAG(bTitleHori, 0, 0)                                                                                             \
    TEXT(szTitleHori, 16, "left", "left")                                                                              \
    FLAG(bTitleTextColor, 0, 0)                                                                                        \
    COLOR(szTitleTextColor, "#000000", "#000000")                                                                      \
    FLAG(bTitleBackColor, 0, 0)                                                                                        \
    COLOR(szTitleBackColor, "#FFFFFF", "#FFFFFF")                                                                      \
    FLAG(bTitleFontSize, 0, 0)                                                                                         \
    INT(nTitleFontSize, 11, 11)                                                                                        \
    TEXT(szTitleFontSizeUnit, 16, "px", "px")                                                                          \
    FLAG(bTitleFontBorld, 0, 0)                                                                                        \
    FLAG(bTitleFontItalic, 0, 0)                                                                                       \
    FLAG(bCommentHori, 0, 0)                                                                                           \
    TEXT(szCommentHori, 16, "left", "left")                                                                            \
    FLAG(bCommentTextColor, 0, 0)                                                                                      \
    COLOR(szCommentTextColor, "#000000", "#000000")                                                                    \
    FLAG(bCommentBackColor, 0, 0)                                                                                      \
    COLOR(szCommentBackColor, "#FFFFFF", "#FFFFFF")                                                                    \
    FLAG(bCommentFontSize, 0, 0)                                                                                       \
    INT(nCommentFontSize, 11, 11)                                                                                      \
    TEXT(szCommentFontSizeUnit, 16, "px", "pc")                                                                        \
    FLAG(bCommentFontBorld, 0, 0)                                                                                      \
    FLAG(bCommentFontItalic, 0, 0)                                                                                     \
    FLAG(bBannerHori, 0, 0)                                                                                            \
    TEXT(szBannerHori, 16, "left", "left")                                                                             \
    FLAG(bBannerTextColor, 0, 0)                                                                                       \
    COLOR(szBannerTextColor, "#000000", "#000000")                                                                     \
    FLAG(bBannerBackColor, 0, 0)                                                                                       \
    COLOR(szBannerBackColor, "#FFFFFF", "#FFFFFF")                                                                     \
    FLAG(bBannerFontSize, 0, 0)                                                                                        \
    INT(nBannerFontSize, 11, 11)                                                                                       \
    TEXT(szBannerFontSizeUnit, 16, "px", "pc")                                                                         \
    FLAG(bBannerFontBorld, 0, 0)                                                                                       \
    FLAG(bBannerFontItalic, 0, 0)                                                                                      \
    FLAG(bUnUsePrLink, 1, 0)                                                                                           \
    FLAG(bPrHori, 0, 0)                                                                                                \
    TEXT(szPrHori, 16, "left", "left")                                                                                 \
    FLAG(bPrBackColor, 0, 0)                                                                                           \
    COLOR(szPrBackColor, "#FFFFFF", "#FFFFFF")                                                                         \
    FLAG(bPrFontSize, 0, 0)                                                                                            \
    INT(nPrFontSize, 11, 11)                                                                                           \
    TEXT(szPrFontSizeUnit, 16, "px", "px")                                                                             \
    FLAG(bPrLinkTextColor, 0, 0)                                                                                       \
    COLOR(szPrLinkTextColor, "#000000", "#000000")                                                                     \
    FLAG(bPrLinkFontBorld, 0, 0)                                                                                       \
    FLAG(bPrLinkFontItalic, 0, 0)                                                                                      \
    FLAG(bPrVisitedTextColor, 0, 0)                                                                                    \
    COLOR(szPrVisitedTextColor, "#000000", "#000000")                                                                  \
    FLAG(bPrVisitedFontBorld, 0, 0)                                                                                    \
    FLAG(bPrVisitedFontItalic, 0, 0)                                                                                   \
    FLAG(bPrHoverTextColor, 0, 0)                                                                                      \
    COLOR(szPrHoverTextColor, "#000000", "#000000")                                                                    \
    FLAG(bPrHoverFontBorld, 0, 0)                                                                                      \
    FLAG(bPrHoverFontItalic, 0, 0)                                                                                     \
    FLAG(bPrActiveTextColor, 0, 0)                                                                                     \
    COLOR(szPrActiveTextColor, "#000000", "#000000")                                                                   \
    FLAG(bPrActiveFontBorld, 0, 0)                                                                                     \
    FLAG(bPrActiveFontItalic, 0, 0)                                                                                    \
    INT(nCols, 1, 1)                                                                                                   \
    FLAG(bRowRest, 0, 0)                                                                                               \
    INT(nRows, 6, 6)                                                                                                   \
    INT(nAdv1, 1, 1)                                                                                                   \
    INT(nAdv2, 2, 2)                                                                                                   \
    INT(nAdv3, 3, 3)

// Keys that came after the 121 above: the advertising label's style and the
// phone layout. A file without them reads these defaults, and a save writes them
// only once they differ from the new-document value (or the file already holds
// them), so files and style sheets of users who never touch them stay as they were.
#define VESSILO_EXTRA_STYLE_KEYS(FLAG, INT, TEXT, COLOR)                                                               \
    FLAG(bLabelHori, 0, 0)                                                                                             \
    TEXT(szLabelHori, 16, "left", "left")                                                                              \
    FLAG(bLabelTextColor, 0, 0)                                                                                        \
    COLOR(szLabelTextColor, "#000000", "#000000")                                                                      \
    FLAG(bLabelBackColor, 0, 0)                                                                                        \
    COLOR(szLabelBackColor, "#FFFFFF", "#FFFFFF")                                                                      \
    FLAG(bLabelFontSize, 0, 0)                                                                                         \
    INT(nLabelFontSize, 10, 10)                                                                                        \
    TEXT(szLabelFontSizeUnit, 16, "px", "px")                                                                          \
    FLAG(bLabelMargin, 0, 0)                                                                                           \
    INT(nLabelMarginLeft, 0, 0)                                                                                        \
    INT(nLabelMarginRight, 0, 0)                                                                                       \
    INT(nLabelMarginTop, 0, 0)                                                                                         \
    INT(nLabelMarginBottom, 2, 2)                                                                                      \
    FLAG(bResponsive, 0, 0)                                                                                            \
    INT(nBreakpoint, 600, 600)                                                                                         \
    INT(nPhoneCols, 1, 1)

namespace vessilo {

constexpr std::string_view kHeadSection = "ZOVAAF_CSS_HEAD";
constexpr std::string_view kDataSection = "ZOVAAF_CSS_DATA";
constexpr std::string_view kSignature = "ZovaVessilorFile";
constexpr std::string_view kVersion = "1";
// Buffer of the header reads, terminating zero included.
constexpr std::size_t kHeadCapacity = 32;
constexpr std::size_t kColorCapacity = 16;
// A colour is loaded into 8 bytes: "#RRGGBB" and its zero.
constexpr std::size_t kColorReadCapacity = 8;
constexpr std::size_t kCommentCapacity = 512;
// Line break of a comment as it stands in the file, so the value keeps to one line.
constexpr std::string_view kLineBreakMarker = "\t[CRLF]\t";

} // namespace vessilo

class CStyleSettings {
public:
#define VESSILO_DECLARE_INT(name, newValue, missing) std::int32_t name = newValue;
#define VESSILO_DECLARE_TEXT(name, capacity, newValue, missing) std::string name = newValue;
#define VESSILO_DECLARE_COLOR(name, newValue, missing) std::string name = newValue;
#define VESSILO_DECLARE_COMMENT(name) std::string name;
    VESSILO_STYLE_KEYS(VESSILO_DECLARE_INT, VESSILO_DECLARE_INT, VESSILO_DECLARE_TEXT, VESSILO_DECLARE_COLOR,
                       VESSILO_DECLARE_COMMENT)
    VESSILO_EXTRA_STYLE_KEYS(VESSILO_DECLARE_INT, VESSILO_DECLARE_INT, VESSILO_DECLARE_TEXT, VESSILO_DECLARE_COLOR)
#undef VESSILO_DECLARE_INT
#undef VESSILO_DECLARE_COLOR
#undef VESSILO_DECLARE_TEXT
#undef VESSILO_DECLARE_COMMENT

    CStyleSettings() = default;
    CStyleSettings(const CStyleSettings&) = default;
    CStyleSettings& operator=(const CStyleSettings&) = default;
    virtual ~CStyleSettings();

    // Every field to its new-document value.
    void Reset();
    // Header, then every key in file order. Keys and sections of other programs
    // stay in the file. False when the file could not be read or written.
    bool SaveToFile(const std::string& path) const;
    // Checks the signature, then reads every key; a missing key takes its default
    // and a long text is cut to its field. On a wrong signature the record is
    // left as it was.
    bool LoadFromFile(const std::string& path);
    bool Equals(const CStyleSettings& other) const;
    void CopyFrom(const CStyleSettings& other);

    // CR LF pairs to the line-break marker; a lone CR or LF stays.
    static std::string EncodeLineBreaks(std::string_view text);
    // The line-break marker back to CR LF.
    static std::string DecodeLineBreaks(std::string_view text);
    // Writes value as "%d" through one profile write.
    static bool WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value,
                                const std::string& path);
};

namespace vessilo {

enum class StyleKeyKind { Flag, Integer, Text, Color, Comment };

// One key of the data section and the field it fills.
struct StyleKey {
    std::string_view name;
    StyleKeyKind kind;
    std::int32_t CStyleSettings::*intField; // flags and integers
    std::string CStyleSettings::*textField; // texts
    std::int32_t newInt;
    std::int32_t missingInt;
    std::string_view newText;
    std::string_view missingText;
    std::size_t capacity;     // bytes of the field, terminating zero included
    std::size_t readCapacity; // bytes a load reads, terminating zero included
};

// The 121 keys in file order.
std::span<const StyleKey> StyleKeys();
// The later keys, written after them and only when set.
std::span<const StyleKey> ExtraStyleKeys();

// Any of the label's declarations is switched on: the style sheet gets a label
// rule and the preview shows a label.
bool UsesLabelStyle(const CStyleSettings& settings);
// Bounds of the phone layout's values as the pages hold them.
constexpr std::int32_t kMinBreakpoint = 200;
constexpr std::int32_t kMaxBreakpoint = 2000;

// Completes a line-break marker at either end of a comment value that lost its
// outer tab to the trimming of INI values.
std::string RestoreTrimmedMarkers(std::string value);

} // namespace vessilo
