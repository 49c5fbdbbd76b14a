#include "stylemaker/style/PreviewPage.h"

#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/Publisher.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vessilo {

namespace {

struct SampleTexts {
    std::string name;
    std::string comment;
    std::string tag;
};

SampleTexts MakeSample(const char* name, const char* comment, const char* anchor) {
    std::string tag = "<a href=\"";
    tag.append(Publisher::kHomePageUrl).append("\" target=\"_blank\">").append(Cp932::FromUtf8(anchor)).append("</a>");
    return {Cp932::FromUtf8(name), Cp932::FromUtf8(comment), std::move(tag)};
}

// Sample i shows row i mod 3.
const std::array<SampleTexts, 3>& Samples() {
    static const std::array<SampleTexts, 3> samples = {
        MakeSample("広告名です", "コメントです。", "広告タグです"),
        MakeSample("これは広告名", "これはコメント。", "これは広告タグ"),
        MakeSample("広告広告広告", "コメントコメントコメントコメントコメントコメント",
                   "広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ広告タグ"),
    };
    return samples;
}

const std::string& PageTitle() {
    static const std::string text = Cp932::FromUtf8("Zelvor管理 CSS作成プレビュー");
    return text;
}

const std::string& LabelSample() {
    static const std::string text = Cp932::FromUtf8("広告");
    return text;
}

const std::string& FullWidthSpace() {
    static const std::string text = Cp932::FromUtf8("　");
    return text;
}

void AppendLine(std::string& page, const std::string& prefix, std::string_view suffix, std::string_view content) {
    page.append("<div class=\"").append(prefix).append(suffix).append("\">");
    page.append(content).append("</div>");
}

// The three lines of a cell in layout order; texts == nullptr gives filler lines.
void AppendCellLines(std::string& page, const std::string& prefix, const CStyleSettings& s, const SampleTexts* texts) {
    for (std::int32_t code : {s.nAdv1, s.nAdv2, s.nAdv3}) {
        switch (code) {
        case 1:
            AppendLine(page, prefix, "_title", texts ? texts->name : FullWidthSpace());
            break;
        case 2:
            AppendLine(page, prefix, "_comment", texts ? texts->comment : FullWidthSpace());
            break;
        case 3:
            AppendLine(page, prefix, "_banner", texts ? texts->tag : FullWidthSpace());
            break;
        default:
            break;
        }
    }
}

} // namespace

int PreviewColumns(const CStyleSettings& settings) {
    return std::clamp(settings.nCols, 1, kPreviewMaxColumns);
}

int PreviewSampleCount(const CStyleSettings& settings) {
    if (!settings.bRowRest)
        return kPreviewSamples;
    // 64 bits: a row limit from a file may be anything.
    std::int64_t cells = std::int64_t{settings.nRows} * PreviewColumns(settings);
    return static_cast<int>(std::clamp<std::int64_t>(cells, 0, kPreviewSamples));
}

std::string BuildPreviewPage(const CStyleSettings& s, std::string_view cssHref, std::string_view tagClass) {
    const int columns = PreviewColumns(s);
    const int samples = PreviewSampleCount(s);
    const std::string prefix(tagClass);

    std::string page;
    page.append("<html><head>\n");
    page.append("<META HTTP-EQUIV=\"Content-Style-Type\" content=\"text/css\">\n");
    page.append("<link rel=\"stylesheet\" type=\"text/css\" href=\"").append(cssHref).append("\">\n");
    page.append("<title>").append(PageTitle()).append("</title>\n");
    page.append("</head><body>\n\n<body>");
    // The label shows once it is styled; the ad manager writes it above the block by default.
    if (UsesLabelStyle(s))
        page.append("<div class=\"" + prefix + "_label\">").append(LabelSample()).append("</div>");
    page.append("<table class=\"" + prefix + "_frame\">");

    // Whole rows: the last one is completed with filler cells.
    int j = 0;
    do {
        page.append("<tr>");
        for (int c = 0; c < columns; ++c, ++j) {
            if (j < samples) {
                page.append("<td class=\"" + prefix + "_data\"><div class=\"" + prefix + "_adv\">");
                AppendCellLines(page, prefix, s, &Samples()[static_cast<std::size_t>(j % 3)]);
            } else {
                page.append("<td><div class=\"" + prefix + "_adv\">");
                AppendCellLines(page, prefix, s, nullptr);
            }
            page.append("</div></td>");
        }
        page.append("</tr>");
    } while (j < samples);

    if (!s.bUnUsePrLink) {
        page.append("<tr><td colspan=\"" + std::to_string(columns) + "\"><div class=\"" + prefix +
                    "_copyright\"><a class=\"" + prefix + "_copylink\" target=\"_blank\" href=\"");
        page.append(Publisher::kHomePageUrl)
            .append("\">")
            .append(Publisher::kCreditText)
            .append("</a></div></td></tr>");
    }

    page.append("</table></body>\n\n</body></html>\n");
    return page;
}

bool WritePreviewPage(const CStyleSettings& settings, const std::string& htmlPath, std::string_view cssHref,
                      std::string_view tagClass) {
    return FileOps::WriteWholeFile(htmlPath, BuildPreviewPage(settings, cssHref, tagClass));
}

} // namespace vessilo
