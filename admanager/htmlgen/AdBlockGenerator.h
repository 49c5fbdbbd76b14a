#pragma once

#include "admanager/library/LibraryNode.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The ad block generator: turns the banners of one ad item into a static table,
// a random-rotation script or several pages. Texts are CP932 bytes and are
// inserted without HTML escaping.

struct AppSettings;

// Where the advertising label goes.
enum LabelPosition : std::int32_t { LABEL_ABOVE = 0, LABEL_IN_CELL = 1 };

struct AdLabelOptions {
    bool show = false;
    std::string text; // CP932, written HTML-escaped
    std::int32_t position = LABEL_ABOVE;
};

struct AdBlockOptions {
    std::int32_t columns = 1;
    std::int32_t rowLimit = 0;  // 0: static table
    std::int32_t rows = 1;      // with the row limit: rows per block
    std::int32_t multiPage = 0; // with the row limit: non-zero splits into pages, 0 is the random script
    std::string tagClass;       // prefix of every class name
    std::int32_t layout[3] = {LAYOUT_NAME, LAYOUT_COMMENT, LAYOUT_TAG};
    // Opt-in additions; off, the block is exactly what it always was.
    AdLabelOptions label;
    bool sponsoredRel = false; // rel="sponsored" on tag links without rel
    bool lazyImages = false;   // loading="lazy" on tag images without loading
};

// The label and tag output choices of the settings file.
void ApplyOutputSettings(AdBlockOptions& options, const AppSettings& settings);

// The label element for a tag class name: <div class="%s_label">text</div>.
std::string LabelElement(std::string_view tagClass, std::string_view text);

struct AdBlockResult {
    std::string tagClass;
    std::int32_t columns = 0;
    std::int32_t rowLimit = 0;
    std::int32_t rows = 0;
    std::int32_t multiPage = 0;
    // 1 in static and random modes; the computed number of pages in multi-page
    // mode (0 when there are no banners).
    std::int32_t pageCount = 1;
    std::vector<std::string> pages;
    // False when an entry had no banner; pages is then empty.
    bool succeeded = false;

    bool IsMultiPage() const { return rowLimit != 0 && multiPage != 0; }
};

// banners are the list entries in display order; a null entry fails the generation.
AdBlockResult GenerateAdBlock(const AdBlockOptions& options, std::span<const Banner* const> banners);

// Makes text safe inside a double-quoted JavaScript string literal of a Shift_JIS
// page: backslashes and quotes are escaped, every line break and every "script"
// is split off by closing the literal and joining a new one with " + ". A
// double-byte character is never matched inside.
std::string EscapeForScriptString(std::string_view text);

// The live banners of an ad item in its own order, as the list pane shows them
// before any sort.
std::vector<const Banner*> BannersInListOrder(const LibraryNode& item);

// Checks of the generation options, in the order the generation dialog makes them.
enum class OptionProblem { None, NoColumns, NoTagClass, NoLayout };
OptionProblem CheckAdBlockOptions(const AdBlockOptions& options);
// The user's message for a problem (UTF-8); empty for None.
const char* OptionProblemMessage(OptionProblem problem);

// The options an ad item's stored generation settings give, read as the
// generation dialog reads its controls: columns from the column index (0 when it
// is out of range, i.e. nothing selected), rows below 1 become 1, the tag class
// name cut to what the dialog reads, layout codes out of range become -1.
AdBlockOptions OptionsFromItem(const LibraryNode& item);

// The most bytes of the tag class name the dialog reads.
constexpr std::size_t kTagClassRead = 254;
