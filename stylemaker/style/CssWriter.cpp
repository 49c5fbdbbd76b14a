#include "stylemaker/style/CssWriter.h"

#include "common/FileOps.h"

#include <algorithm>

namespace vessilo {

namespace {

// Appends the pieces of one style sheet. Plain appends rather than a fixed line
// buffer: a long class name given on the command line must not be cut.
class CssText {
public:
    CssText(std::string_view tagClass, std::vector<std::string>* dropped) : m_tag(tagClass), m_dropped(dropped) {}

    void Head(std::string_view prefix, std::string_view suffix) {
        m_selector.assign(prefix).append(m_tag).append(suffix);
        m_text.append(m_selector).append(" {\n");
    }
    void Close() { m_text.append("}\n"); }

    void Size(std::string_view property, std::int32_t value, std::string_view unit) {
        Declaration(property, std::to_string(value).append(unit));
    }
    void Border(const std::string& style, std::int32_t width, const std::string& color) {
        Declaration("border", style + " " + std::to_string(width) + "px " + color);
    }
    void Color(const std::string& value) { Declaration("color", value); }
    void BackColor(const std::string& value) { Declaration("background-color", value); }
    void Bold() { Declaration("font-weight", "bold"); }
    void Italic() { Declaration("font-style", "italic"); }
    void Box(std::string_view property, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t left) {
        Declaration(property, std::to_string(top) + "px " + std::to_string(right) + "px " + std::to_string(bottom) +
                                  "px " + std::to_string(left) + "px");
    }
    void TextAlign(const std::string& value) { Declaration("text-align", value); }
    void VerticalAlign(const std::string& value) { Declaration("vertical-align", value); }

    // Lines of an @media block: head and declarations indented one level more.
    void Raw(std::string_view text) { m_text.append(text); }
    void Nested(std::string_view selectors, std::initializer_list<std::string_view> declarations) {
        m_text.append("    ").append(selectors).append(" {\n");
        for (std::string_view d : declarations)
            m_text.append("        ").append(d).append(";\n");
        m_text.append("    }\n");
    }
    const std::string& Tag() const { return m_tag; }

    std::string Take() { return std::move(m_text); }

private:
    void Declaration(std::string_view property, std::string_view value) {
        if (value.find_first_of(";{}<>\"'\\\r\n") != std::string_view::npos) {
            if (m_dropped)
                m_dropped->push_back(m_selector + " " + std::string(property));
            return;
        }
        m_text.append("    ").append(property).append(": ").append(value).append(";\n");
    }

    std::string m_tag;
    std::vector<std::string>* m_dropped;
    std::string m_selector;
    std::string m_text;
};

// The six declarations of the name, comment and tag lines.
struct LineStyle {
    std::int32_t hori;
    const std::string& horiValue;
    std::int32_t textColor;
    const std::string& textColorValue;
    std::int32_t backColor;
    const std::string& backColorValue;
    std::int32_t fontSize;
    std::int32_t fontSizeValue;
    const std::string& fontSizeUnit;
    std::int32_t bold;
    std::int32_t italic;
};

void WriteLineRule(CssText& css, std::string_view suffix, const LineStyle& s) {
    css.Head("div.", suffix);
    if (s.hori)
        css.TextAlign(s.horiValue);
    if (s.textColor)
        css.Color(s.textColorValue);
    if (s.backColor)
        css.BackColor(s.backColorValue);
    if (s.fontSize)
        css.Size("font-size", s.fontSizeValue, s.fontSizeUnit);
    if (s.bold)
        css.Bold();
    if (s.italic)
        css.Italic();
    css.Close();
}

void WriteLinkRule(CssText& css, std::string_view prefix, std::int32_t textColor, const std::string& color,
                   std::int32_t bold, std::int32_t italic) {
    css.Head(prefix, "_copylink");
    if (textColor)
        css.Color(color);
    if (bold)
        css.Bold();
    if (italic)
        css.Italic();
    css.Close();
}

// Below the breakpoint the table's cells stack, one or two to a row, and what is
// in them scales to the cell. Media queries only: the block's HTML stays the same.
void WritePhoneRules(CssText& css, const CStyleSettings& s) {
    const std::string& t = css.Tag();
    const std::string frame = "table." + t + "_frame";
    const std::string cells = frame + " > tbody > tr > td";
    const std::int32_t breakpoint = std::clamp(s.nBreakpoint, kMinBreakpoint, kMaxBreakpoint);
    const std::string share = s.nPhoneCols == 2 ? "50%" : "100%";
    css.Raw("@media screen and (max-width: " + std::to_string(breakpoint) + "px) {\n");
    css.Nested(frame + ", " + frame + " > tbody", {"display: block", "width: auto", "max-width: 100%"});
    css.Nested(frame + " > tbody", {"display: flex", "flex-wrap: wrap"});
    css.Nested(frame + " > tbody > tr", {"display: contents"});
    css.Nested(cells, {"display: block", "box-sizing: border-box", "flex: 0 0 " + share, "max-width: " + share,
                       "overflow-wrap: anywhere"});
    // Filler cells pad the last row of a table; stacked, they are only empty boxes.
    css.Nested(cells + ":not(." + t + "_data):not([colspan])", {"display: none"});
    css.Nested("div." + t + "_adv", {"box-sizing: border-box", "width: auto", "max-width: 100%"});
    css.Nested("div." + t + "_adv img", {"max-width: 100%", "height: auto"});
    css.Nested("div." + t + "_adv iframe, div." + t + "_adv video", {"max-width: 100%"});
    css.Raw("}\n");
}

} // namespace

std::string BuildCss(const CStyleSettings& s, std::string_view tagClass, std::vector<std::string>* dropped) {
    CssText css(tagClass, dropped);

    css.Head("table.", "_frame");
    if (s.bFrameWidth)
        css.Size("width", s.nFrameWidth, s.szFrameWidthUnit);
    if (s.bFrameBorder)
        css.Border(s.szFrameBorderStyle, s.nFrameBorder, s.szFrameBorderColor);
    if (s.bFrameTextColor)
        css.Color(s.szFrameTextColor);
    if (s.bFrameBackColor)
        css.BackColor(s.szFrameBackColor);
    if (s.bFrameFontSize)
        css.Size("font-size", s.nFrameFontSize, s.szFrameFontSizeUnit);
    if (s.bFrameFontBorld)
        css.Bold();
    if (s.bFrameFontItalic)
        css.Italic();
    if (s.bFrameMargin)
        css.Box("margin", s.nFrameMarginTop, s.nFrameMarginRight, s.nFrameMarginBottom, s.nFrameMarginLeft);
    css.Close();

    css.Head("td.", "_data");
    if (s.bDataHori)
        css.TextAlign(s.szDataHori);
    if (s.bDataVert)
        css.VerticalAlign(s.szDataVert);
    css.Close();

    css.Head("div.", "_adv");
    if (s.bAdvWidth)
        css.Size("width", s.nAdvWidth, s.szAdvWidthUnit);
    if (s.bAdvHeight)
        css.Size("height", s.nAdvHeight, s.szAdvHeightUnit);
    if (s.bAdvBorder)
        css.Border(s.szAdvBorderStyle, s.nAdvBorder, s.szAdvBorderColor);
    if (s.bAdvTextColor)
        css.Color(s.szAdvTextColor);
    if (s.bAdvBackColor)
        css.BackColor(s.szAdvBackColor);
    if (s.bAdvFontSize)
        css.Size("font-size", s.nAdvFontSize, s.szAdvFontSizeUnit);
    if (s.bAdvFontBorld)
        css.Bold();
    if (s.bAdvFontItalic)
        css.Italic();
    if (s.bAdvPadding)
        css.Box("padding", s.nAdvPaddingTop, s.nAdvPaddingRight, s.nAdvPaddingBottom, s.nAdvPaddingLeft);
    if (s.bAdvMargin)
        css.Box("margin", s.nAdvMarginTop, s.nAdvMarginRight, s.nAdvMarginBottom, s.nAdvMarginLeft);
    css.Close();

    WriteLineRule(css, "_title",
                  {s.bTitleHori, s.szTitleHori, s.bTitleTextColor, s.szTitleTextColor, s.bTitleBackColor,
                   s.szTitleBackColor, s.bTitleFontSize, s.nTitleFontSize, s.szTitleFontSizeUnit, s.bTitleFontBorld,
                   s.bTitleFontItalic});
    WriteLineRule(css, "_comment",
                  {s.bCommentHori, s.szCommentHori, s.bCommentTextColor, s.szCommentTextColor, s.bCommentBackColor,
                   s.szCommentBackColor, s.bCommentFontSize, s.nCommentFontSize, s.szCommentFontSizeUnit,
                   s.bCommentFontBorld, s.bCommentFontItalic});
    WriteLineRule(css, "_banner",
                  {s.bBannerHori, s.szBannerHori, s.bBannerTextColor, s.szBannerTextColor, s.bBannerBackColor,
                   s.szBannerBackColor, s.bBannerFontSize, s.nBannerFontSize, s.szBannerFontSizeUnit,
                   s.bBannerFontBorld, s.bBannerFontItalic});

    if (!s.bUnUsePrLink) {
        css.Head("div.", "_copyright");
        if (s.bPrHori)
            css.TextAlign(s.szPrHori);
        if (s.bPrBackColor)
            css.BackColor(s.szPrBackColor);
        if (s.bPrFontSize)
            css.Size("font-size", s.nPrFontSize, s.szPrFontSizeUnit);
        css.Close();
        WriteLinkRule(css, "a.", s.bPrLinkTextColor, s.szPrLinkTextColor, s.bPrLinkFontBorld, s.bPrLinkFontItalic);
        WriteLinkRule(css, "a:visited.", s.bPrVisitedTextColor, s.szPrVisitedTextColor, s.bPrVisitedFontBorld,
                      s.bPrVisitedFontItalic);
        WriteLinkRule(css, "a:hover.", s.bPrHoverTextColor, s.szPrHoverTextColor, s.bPrHoverFontBorld,
                      s.bPrHoverFontItalic);
        WriteLinkRule(css, "a:active.", s.bPrActiveTextColor, s.szPrActiveTextColor, s.bPrActiveFontBorld,
                      s.bPrActiveFontItalic);
    }

    // Later additions, written only when asked for, so older style sheets stay as they were.
    if (UsesLabelStyle(s)) {
        css.Head("div.", "_label");
        if (s.bLabelHori)
            css.TextAlign(s.szLabelHori);
        if (s.bLabelTextColor)
            css.Color(s.szLabelTextColor);
        if (s.bLabelBackColor)
            css.BackColor(s.szLabelBackColor);
        if (s.bLabelFontSize)
            css.Size("font-size", s.nLabelFontSize, s.szLabelFontSizeUnit);
        if (s.bLabelMargin)
            css.Box("margin", s.nLabelMarginTop, s.nLabelMarginRight, s.nLabelMarginBottom, s.nLabelMarginLeft);
        css.Close();
    }
    if (s.bResponsive)
        WritePhoneRules(css, s);
    return css.Take();
}

bool WriteCss(const CStyleSettings& settings, const std::string& path, std::string_view tagClass,
              std::vector<std::string>* dropped) {
    return FileOps::WriteWholeFile(path, BuildCss(settings, tagClass, dropped));
}

} // namespace vessilo
