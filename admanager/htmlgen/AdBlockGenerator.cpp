#include "admanager/htmlgen/AdBlockGenerator.h"

#include "admanager/htmlgen/TagCheck.h"
#include "admanager/settings/AppSettings.h"
#include "common/Cp932.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::string_view kRowOpen = "<tr>";
constexpr std::string_view kRowClose = "</tr>";
constexpr std::string_view kTableClose = "</table>";
constexpr std::string_view kCellClose = "</div></td>";
constexpr std::string_view kLineClose = "</div>";
// Closes a script string literal and opens the next one joined to it.
constexpr std::string_view kJoin = "\" + \"";

const std::string& FullWidthSpace() {
    static const std::string text = Cp932::FromUtf8("　");
    return text;
}

bool IsKnownCode(std::int32_t code) {
    return code == LAYOUT_NAME || code == LAYOUT_COMMENT || code == LAYOUT_TAG;
}

// Measures what would be appended, so each page can be reserved exactly before
// it is written by the same code.
struct SizeCounter {
    std::size_t size = 0;
    void append(std::string_view text) { size += text.size(); }
};

// The fixed pieces of one generation, formatted once with the tag class name.
class BlockWriter {
public:
    BlockWriter(const AdBlockOptions& options, std::span<const Banner* const> banners)
        : m_options(options), m_banners(banners) {
        const std::string& cls = options.tagClass;
        m_tableOpen = "<table class=\"" + cls + "_frame\">";
        m_cellOpen = "<td class=\"" + cls + "_data\"><div class=\"" + cls + "_adv\">";
        m_fillerOpen = "<td><div class=\"" + cls + "_adv\">";
        static constexpr std::array<std::string_view, 4> kSuffix = {"", "_title", "_comment", "_banner"};
        for (int code = LAYOUT_NAME; code <= LAYOUT_TAG; ++code) {
            m_lineOpen[code] = "<div class=\"" + cls + std::string(kSuffix[code]) + "\">";
            m_fillerLine[code] = m_lineOpen[code] + FullWidthSpace() + std::string(kLineClose);
        }
        if (options.label.show) {
            std::string label = LabelElement(cls, options.label.text);
            (options.label.position == LABEL_IN_CELL ? m_labelInCell : m_labelAbove) = std::move(label);
        }
        if (options.sponsoredRel || options.lazyImages) {
            m_tags.reserve(banners.size());
            for (const Banner* b : banners)
                m_tags.push_back(b ? RewriteTagForOutput(b->tag, options.sponsoredRel, options.lazyImages)
                                   : std::string());
        }
    }

    // The banner's tag as it is written.
    std::string_view TagOf(std::size_t i, const Banner& banner) const {
        return m_tags.empty() ? std::string_view(banner.tag) : std::string_view(m_tags[i]);
    }
    std::string_view TextOf(std::int32_t code, std::size_t i, const Banner& banner) const {
        return code == LAYOUT_NAME      ? std::string_view(banner.name)
               : code == LAYOUT_COMMENT ? std::string_view(banner.comment)
                                        : TagOf(i, banner);
    }

    std::size_t Count() const { return m_banners.size(); }

    // One cell for list index i; false when the entry has no banner.
    template <class Out> bool Cell(Out& out, std::size_t i) const {
        if (i >= m_banners.size()) {
            out.append(m_fillerOpen);
            for (std::int32_t code : m_options.layout)
                if (IsKnownCode(code))
                    out.append(m_fillerLine[code]);
            out.append(kCellClose);
            return true;
        }
        const Banner* banner = m_banners[i];
        if (!banner)
            return false;
        out.append(m_cellOpen);
        out.append(m_labelInCell);
        for (std::int32_t code : m_options.layout) {
            if (!IsKnownCode(code))
                continue;
            out.append(m_lineOpen[code]);
            out.append(TextOf(code, i, *banner));
            out.append(kLineClose);
        }
        out.append(kCellClose);
        return true;
    }

    // A table of rows from index, at most maxRows rows (no limit when 0), ending
    // after the row in which the index reaches the count. Advances index.
    template <class Out> bool Table(Out& out, std::size_t& index, std::int64_t maxRows) const {
        out.append(m_labelAbove);
        out.append(m_tableOpen);
        const auto columns = static_cast<std::size_t>(m_options.columns);
        for (std::int64_t row = 0; maxRows == 0 || row < maxRows; ++row) {
            out.append(kRowOpen);
            for (std::size_t c = 0; c < columns; ++c)
                if (!Cell(out, index++))
                    return false;
            out.append(kRowClose);
            if (index >= m_banners.size())
                break;
        }
        out.append(kTableClose);
        return true;
    }

    // A table measured first, then written into a buffer of exactly its size.
    bool TablePage(std::string& page, std::size_t& index, std::int64_t maxRows) const {
        SizeCounter counter;
        std::size_t probe = index;
        if (!Table(counter, probe, maxRows))
            return false;
        page.clear();
        page.reserve(counter.size);
        return Table(page, index, maxRows);
    }

    bool RandomScript(std::string& page) const;

private:
    const AdBlockOptions& m_options;
    std::span<const Banner* const> m_banners;
    std::string m_tableOpen;
    std::string m_cellOpen;
    std::string m_fillerOpen;
    std::string m_lineOpen[4];
    std::string m_fillerLine[4];
    std::string m_labelAbove;        // before every table
    std::string m_labelInCell;       // at the top of every banner cell
    std::vector<std::string> m_tags; // rewritten tags, when output asks for it
};

void AppendEscaped(std::string& out, std::string_view text);

bool BlockWriter::RandomScript(std::string& page) const {
    const std::string count = std::to_string(m_banners.size());
    const std::string& cls = m_options.tagClass;
    const std::string& space = FullWidthSpace();

    std::size_t estimate = 2048 + cls.size();
    for (const Banner* b : m_banners)
        if (b)
            estimate += 64 + (m_cellOpen.size() + 3 * (32 + cls.size())) +
                        (b->name.size() + b->comment.size() + b->tag.size()) * 9 / 8;
    page.clear();
    page.reserve(estimate);

    page += "<script language=\"JavaScript\">";
    page += "var szTagId = \"" + cls + "\";";
    page += "var nCol = " + std::to_string(m_options.columns) + ";";
    page += "var nRow = " + std::to_string(m_options.rows) + ";";
    page += "var nData = " + count + ";";
    page += "var szAdvNull = \"\";";
    page += "var szAdvlist = new Array(" + count + ");";
    page += "var nIdx = new Array(" + count + ");";
    page += "szAdvNull = \"<td class=\\\"\" + szTagId + \"_data\\\"><div class=\\\"\" + szTagId + "
            "\"_adv\\\"><div class=\\\"\" + szTagId + \"_title\\\">";
    page += space;
    page += "</div><div class=\\\"\" + szTagId + \"_comment\\\">";
    page += space;
    page += "</div><div class=\\\"\" + szTagId + \"_banner\\\">";
    page += space;
    page += "</div></div></td>\";";

    // Every piece of a cell starts and ends with a single-byte character that no
    // escape looks at, so escaping piece by piece gives the bytes escaping the
    // whole cell would; the fixed pieces are escaped once.
    const std::string cellOpen = EscapeForScriptString(m_cellOpen + m_labelInCell);
    std::string lineOpen[4];
    for (int code = LAYOUT_NAME; code <= LAYOUT_TAG; ++code)
        lineOpen[code] = EscapeForScriptString(m_lineOpen[code]);
    for (std::size_t i = 0; i < m_banners.size(); ++i) {
        const Banner* banner = m_banners[i];
        if (!banner)
            return false;
        page += "szAdvlist[";
        page += std::to_string(i);
        page += "] = \"";
        page += cellOpen;
        for (std::int32_t code : m_options.layout) {
            if (!IsKnownCode(code))
                continue;
            page += lineOpen[code];
            AppendEscaped(page, TextOf(code, i, *banner));
            page += kLineClose;
        }
        page += kCellClose;
        page += "\";";
    }

    page += "nCount = nCol * nRow;"
            "if (nCount > nData) {"
            "nCount = nData;"
            "}"
            "for (i = 0; i < nData; i++) {"
            "nIdx[i] = i;"
            "}"
            "for (i = 0; i < nCount; i++) {"
            "nRand = Math.floor(Math.random() * nData);"
            "nSwp = nIdx[i];"
            "nIdx[i] = nIdx[nRand];"
            "nIdx[nRand] = nSwp;"
            "}"
            "i = 0;";
    if (!m_labelAbove.empty()) {
        // The label with the table, escaped as every cell is.
        page += "document.write(\"";
        AppendEscaped(page, m_labelAbove);
        page += "\");";
    }
    page += "document.write(\"<table class=\\\"\" + szTagId + \"_frame\\\">\");"
            "for (;;) {"
            "document.write(\"<tr>\");"
            "for (k = 0; k < nCol; k++) {"
            "if (nCount > i) {"
            "document.write(szAdvlist[nIdx[i]]);"
            "} else {"
            "document.write(szAdvNull);"
            "}"
            "i++;"
            "}"
            "document.write(\"</tr>\");"
            "if (nCount <= i) {"
            "break;"
            "}"
            "}";
    page += "document.write(\"</table>\");"
            "</script>"
            "<noscript>"
            "</noscript>";
    return true;
}

// Bytes the escaping has to look at; everything else is copied in runs.
enum ByteKind : unsigned char { PLAIN, LEAD, BACKSLASH, DQUOTE, SQUOTE, CR, LF, LETTER_S };

constexpr std::array<unsigned char, 256> MakeKinds() {
    std::array<unsigned char, 256> kinds{};
    for (int c = 0; c < 256; ++c)
        kinds[c] = Cp932::IsLeadByte(static_cast<unsigned char>(c)) ? LEAD : PLAIN;
    kinds['\\'] = BACKSLASH;
    kinds['"'] = DQUOTE;
    kinds['\''] = SQUOTE;
    kinds['\r'] = CR;
    kinds['\n'] = LF;
    kinds['s'] = LETTER_S;
    kinds['S'] = LETTER_S;
    return kinds;
}
constexpr std::array<unsigned char, 256> kKinds = MakeKinds();

// The HTML parser ends a script block at "</script" in any case, so the split
// ignores case too.
bool StartsWithScript(std::string_view text, std::size_t pos) {
    static constexpr std::string_view kWord = "script";
    if (text.size() - pos < kWord.size())
        return false;
    for (std::size_t k = 0; k < kWord.size(); ++k) {
        char c = text[pos + k];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kWord[k])
            return false;
    }
    return true;
}

// One left-to-right scan over characters does what the five passes (backslash,
// double quote, single quote, line breaks, "script") do one after the other:
// none of them inserts anything a later pass would match.
void AppendEscaped(std::string& out, std::string_view text) {
    const std::size_t n = text.size();
    std::size_t run = 0;
    std::size_t i = 0;
    auto flush = [&](std::size_t end) { out.append(text.data() + run, end - run); };
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (kKinds[c]) {
        case PLAIN:
            do
                ++i;
            while (i < n && kKinds[static_cast<unsigned char>(text[i])] == PLAIN);
            break;
        case LEAD:
            if (i + 1 < n && Cp932::IsTrailByte(static_cast<unsigned char>(text[i + 1]))) {
                // Its trail byte may be 0x5C or a letter: it is not ours to escape.
                i += 2;
            } else if (i + 1 < n && (text[i + 1] == '"' || text[i + 1] == '\'')) {
                // A stray lead byte would take the backslash put before the quote
                // as its trail byte; end the literal behind it instead.
                flush(i + 1);
                out.append(kJoin);
                run = ++i;
            } else {
                ++i;
            }
            break;
        case BACKSLASH:
        case DQUOTE:
        case SQUOTE:
            flush(i);
            out.push_back('\\');
            run = i++; // the character itself follows in the next run
            break;
        case CR:
        case LF:
            flush(i);
            out.append(kJoin);
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            run = i;
            break;
        case LETTER_S:
            if (StartsWithScript(text, i)) {
                flush(i);
                out.append(kJoin);
                run = i;
                i += 6;
            } else {
                ++i;
            }
            break;
        }
    }
    flush(n);
}

} // namespace

std::string EscapeForScriptString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 16);
    AppendEscaped(out, text);
    return out;
}

void ApplyOutputSettings(AdBlockOptions& options, const AppSettings& settings) {
    options.label.show = settings.adLabel != 0;
    options.label.text = settings.adLabelText.empty() ? AppSettings::DefaultLabelText() : settings.adLabelText;
    options.label.position = settings.adLabelPosition == LABEL_IN_CELL ? LABEL_IN_CELL : LABEL_ABOVE;
    options.sponsoredRel = settings.sponsoredRel != 0;
    options.lazyImages = settings.lazyImages != 0;
}

std::string LabelElement(std::string_view tagClass, std::string_view text) {
    // The label is the user's word, not markup.
    std::string out = "<div class=\"" + std::string(tagClass) + "_label\">";
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = Cp932::CharLength(text, i);
        if (n == 1 && text[i] == '<')
            out += "&lt;";
        else if (n == 1 && text[i] == '>')
            out += "&gt;";
        else if (n == 1 && text[i] == '&')
            out += "&amp;";
        else if (n == 1 && text[i] == '"')
            out += "&quot;";
        else
            out.append(text.substr(i, n));
        i += n;
    }
    out += "</div>";
    return out;
}

AdBlockResult GenerateAdBlock(const AdBlockOptions& options, std::span<const Banner* const> banners) {
    AdBlockResult result;
    result.tagClass = options.tagClass;
    result.columns = options.columns;
    result.rowLimit = options.rowLimit;
    result.rows = options.rows;
    result.multiPage = options.multiPage;
    result.pageCount = 1;

    if (options.columns < 1) {
        result.pages.emplace_back();
        result.succeeded = true;
        return result;
    }

    BlockWriter writer(options, banners);
    if (options.rowLimit == 0) {
        std::string page;
        std::size_t index = 0;
        if (!writer.TablePage(page, index, 0))
            return result;
        result.pages.push_back(std::move(page));
    } else if (options.multiPage == 0) {
        std::string page;
        if (!writer.RandomScript(page))
            return result;
        result.pages.push_back(std::move(page));
    } else {
        // Rows below 1 are the caller's mistake; one row keeps the division sound.
        const std::int64_t rows = std::max<std::int32_t>(options.rows, 1);
        const std::int64_t perPage = static_cast<std::int64_t>(options.columns) * rows;
        const auto count = static_cast<std::int64_t>(banners.size());
        const std::int64_t pageCount = count / perPage + (count % perPage > 0 ? 1 : 0);
        result.pageCount = static_cast<std::int32_t>(pageCount);
        std::vector<std::string> pages(static_cast<std::size_t>(pageCount));
        std::size_t index = 0;
        for (std::string& page : pages)
            if (!writer.TablePage(page, index, rows))
                return result;
        result.pages = std::move(pages);
    }
    result.succeeded = true;
    return result;
}

std::vector<const Banner*> BannersInListOrder(const LibraryNode& item) {
    std::vector<const Banner*> list;
    list.reserve(item.banners.size());
    for (const auto& banner : item.banners)
        if (banner && banner->IsLive())
            list.push_back(banner.get());
    return list;
}

OptionProblem CheckAdBlockOptions(const AdBlockOptions& options) {
    if (options.columns < 1 || options.columns > 6)
        return OptionProblem::NoColumns;
    if (options.tagClass.empty())
        return OptionProblem::NoTagClass;
    for (std::int32_t code : options.layout)
        if (code < LAYOUT_NONE || code > LAYOUT_TAG)
            return OptionProblem::NoLayout;
    return OptionProblem::None;
}

const char* OptionProblemMessage(OptionProblem problem) {
    switch (problem) {
    case OptionProblem::None:
        return "";
    case OptionProblem::NoColumns:
        return "基本レイアウトを選択してください。";
    case OptionProblem::NoTagClass:
        return "タグClass名を入力してください。";
    case OptionProblem::NoLayout:
        return "バナーのレイアウトを選択してください。";
    }
    return "";
}

AdBlockOptions OptionsFromItem(const LibraryNode& item) {
    AdBlockOptions options;
    options.columns = (item.columnIndex >= 0 && item.columnIndex <= 5) ? item.columnIndex + 1 : 0;
    options.rowLimit = item.rowLimit != 0 ? 1 : 0;
    options.rows = std::max<std::int32_t>(item.rowCount, 1);
    options.multiPage = item.multiPage != 0 ? 1 : 0;
    options.tagClass = item.tagClass;
    Cp932::CutTo(options.tagClass, kTagClassRead);
    for (int s = 0; s < 3; ++s)
        options.layout[s] = (item.layout[s] >= LAYOUT_NONE && item.layout[s] <= LAYOUT_TAG) ? item.layout[s] : -1;
    return options;
}
