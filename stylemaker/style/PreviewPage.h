#pragma once

#include "stylemaker/style/StyleSettings.h"

#include <string>
#include <string_view>

namespace vessilo {

// The class prefix of the preview, whatever name the user exports with.
constexpr std::string_view kPreviewTagClass = "cssprev";
// Sample ads on a page without a row limit, and at most with one.
constexpr int kPreviewSamples = 20;
constexpr int kPreviewMaxColumns = 6;

// Columns the preview lays out: the record's count held between 1 and 6, so that
// every row completes.
int PreviewColumns(const CStyleSettings& settings);
// Sample cells on the page (the rest of the last row is filler).
int PreviewSampleCount(const CStyleSettings& settings);

// The sample page for the record: an ad block of sample ads linking cssHref as its
// style sheet (inserted unchanged). Vessilo's own preview always uses "cssprev";
// a page beside an exported style sheet uses that sheet's class name.
std::string BuildPreviewPage(const CStyleSettings& settings, std::string_view cssHref,
                             std::string_view tagClass = kPreviewTagClass);

// Writes BuildPreviewPage to htmlPath. True only when every byte was written.
bool WritePreviewPage(const CStyleSettings& settings, const std::string& htmlPath, std::string_view cssHref,
                      std::string_view tagClass = kPreviewTagClass);

} // namespace vessilo
