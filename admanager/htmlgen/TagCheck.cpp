#include "admanager/htmlgen/TagCheck.h"

#include "common/Cp932.h"

#include <gumbo.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace {

// The markup characters of HTML are all below 0x40, where CP932 has no trail
// bytes, so the parser may read CP932 as it reads UTF-8: a double-byte character
// only becomes text it does not understand, and every offset it reports is an
// offset into the tag as stored.
struct ParsedTag {
    explicit ParsedTag(std::string_view text) : options(kGumboDefaultOptions) {
        options.fragment_context = GUMBO_TAG_DIV; // a tag sits inside the block's div
        options.fragment_namespace = GUMBO_NAMESPACE_HTML;
        options.max_errors = 0;
        output = gumbo_parse_with_options(&options, text.data(), text.size());
    }
    ~ParsedTag() { gumbo_destroy_output(&options, output); }
    ParsedTag(const ParsedTag&) = delete;
    ParsedTag& operator=(const ParsedTag&) = delete;

    GumboOptions options;
    GumboOutput* output;
};

std::string ElementName(const GumboElement& e) {
    if (e.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(e.tag);
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    return std::string(piece.data, piece.length);
}

const GumboAttribute* Attribute(const GumboElement& e, const char* name) {
    return gumbo_get_attribute(&e.attributes, name);
}

bool OneOf(GumboTag tag, std::initializer_list<GumboTag> tags) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

bool IsVoid(GumboTag tag) {
    return OneOf(tag, {GUMBO_TAG_AREA, GUMBO_TAG_BASE, GUMBO_TAG_BR, GUMBO_TAG_COL, GUMBO_TAG_EMBED, GUMBO_TAG_HR,
                       GUMBO_TAG_IMG, GUMBO_TAG_INPUT, GUMBO_TAG_LINK, GUMBO_TAG_META, GUMBO_TAG_PARAM,
                       GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_WBR, GUMBO_TAG_KEYGEN, GUMBO_TAG_BASEFONT,
                       GUMBO_TAG_BGSOUND, GUMBO_TAG_FRAME, GUMBO_TAG_IMAGE});
}

// Elements HTML lets close themselves: no end tag is no fault.
bool EndTagOptional(GumboTag tag) {
    return OneOf(tag, {GUMBO_TAG_P,        GUMBO_TAG_LI,       GUMBO_TAG_DT,      GUMBO_TAG_DD,    GUMBO_TAG_OPTION,
                       GUMBO_TAG_OPTGROUP, GUMBO_TAG_RB,       GUMBO_TAG_RT,      GUMBO_TAG_RTC,   GUMBO_TAG_RP,
                       GUMBO_TAG_TR,       GUMBO_TAG_TD,       GUMBO_TAG_TH,      GUMBO_TAG_THEAD, GUMBO_TAG_TBODY,
                       GUMBO_TAG_TFOOT,    GUMBO_TAG_COLGROUP, GUMBO_TAG_CAPTION, GUMBO_TAG_HTML,  GUMBO_TAG_HEAD,
                       GUMBO_TAG_BODY});
}

// Text the parser takes verbatim: "</" inside it is no end tag.
bool HoldsRawText(GumboTag tag) {
    return OneOf(tag, {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TEXTAREA, GUMBO_TAG_TITLE, GUMBO_TAG_XMP,
                       GUMBO_TAG_IFRAME, GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES, GUMBO_TAG_PLAINTEXT});
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// HTML trims blanks around a URL.
std::string_view TrimBlanks(std::string_view text) {
    const char* blanks = " \t\r\n\f";
    std::size_t b = text.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    return text.substr(b, text.find_last_not_of(blanks) - b + 1);
}

// An attribute's value as the tag holds it, for the report: the parser's decoded
// value took CP932 for UTF-8, so its Japanese is lost; the source bytes are
// converted once.
std::string SourceValue(const GumboAttribute* a) {
    if (!a)
        return {};
    std::string_view raw(a->original_value.data, a->original_value.length);
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    return Cp932::ToUtf8(TrimBlanks(raw));
}

bool IsPlainHttp(std::string_view url) {
    return Lower(TrimBlanks(url).substr(0, 7)) == "http://";
}

// The attributes through which an element loads something into the page.
std::vector<const char*> ResourceAttributes(GumboTag tag, const GumboElement& e) {
    switch (tag) {
    case GUMBO_TAG_IMG:
        return {"src", "srcset"};
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_TRACK:
        return {"src"};
    case GUMBO_TAG_SOURCE:
        return {"src", "srcset"};
    case GUMBO_TAG_VIDEO:
        return {"src", "poster"};
    case GUMBO_TAG_OBJECT:
        return {"data"};
    case GUMBO_TAG_INPUT:
        return {"src"};
    case GUMBO_TAG_LINK: {
        const GumboAttribute* rel = Attribute(e, "rel");
        if (rel && Lower(rel->value).find("stylesheet") != std::string::npos)
            return {"href"};
        return {};
    }
    default:
        return {};
    }
}

bool HasRelToken(const GumboElement& e, std::initializer_list<std::string_view> wanted) {
    const GumboAttribute* rel = Attribute(e, "rel");
    if (!rel)
        return false;
    std::string value = Lower(rel->value);
    std::size_t pos = 0;
    while (pos < value.size()) {
        std::size_t start = value.find_first_not_of(" \t\r\n\f", pos);
        if (start == std::string::npos)
            break;
        std::size_t end = value.find_first_of(" \t\r\n\f", start);
        std::string_view token = std::string_view(value).substr(start, end == std::string::npos ? end : end - start);
        for (std::string_view w : wanted)
            if (token == w)
                return true;
        pos = end == std::string::npos ? value.size() : end;
    }
    return false;
}

class Checker {
public:
    Checker(std::string_view tag, const TagCheckContext& context) : m_tag(tag), m_context(context) {}

    std::vector<TagFinding> Run() {
        if (Cp932::ToUtf8(m_tag).find("\xEF\xBF\xBD") != std::string::npos)
            Add(TagProblem::NotCp932, TagSeverity::Error, "");
        ParsedTag parsed(m_tag);
        Walk(parsed.output->document, false);
        CheckLeftovers();
        return std::move(m_findings);
    }

private:
    void Add(TagProblem problem, TagSeverity severity, std::string detail) {
        // One finding per kind and detail is enough to act on.
        for (const TagFinding& f : m_findings)
            if (f.problem == problem && f.detail == detail)
                return;
        m_findings.push_back({problem, severity, std::move(detail), 0, {}, {}});
    }

    void Cover(const GumboStringPiece& piece, bool scan) {
        if (piece.length == 0 || piece.data < m_tag.data() || piece.data >= m_tag.data() + m_tag.size())
            return;
        auto begin = static_cast<std::size_t>(piece.data - m_tag.data());
        m_covered.push_back({begin, std::min(begin + piece.length, m_tag.size()), scan});
    }

    void Walk(const GumboNode* node, bool rawParent) {
        switch (node->type) {
        case GUMBO_NODE_DOCUMENT:
            for (unsigned i = 0; i < node->v.document.children.length; ++i)
                Walk(static_cast<const GumboNode*>(node->v.document.children.data[i]), false);
            return;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            Element(node);
            return;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            // The parser joins text on both sides of a tag it drops into one node;
            // the dropped tag then shows inside that text.
            Cover(node->v.text.original_text, !rawParent && node->type != GUMBO_NODE_CDATA);
            return;
        case GUMBO_NODE_COMMENT:
            Cover(node->v.text.original_text, false);
            return;
        }
    }

    void Element(const GumboNode* node) {
        const GumboElement& e = node->v.element;
        Cover(e.original_tag, false);
        Cover(e.original_end_tag, false);
        const bool inSource = e.original_tag.length > 0;
        const GumboTag tag = e.tag;

        if (inSource && e.tag_namespace == GUMBO_NAMESPACE_HTML) {
            const bool selfClosed = e.original_tag.length >= 2 && e.original_tag.data[e.original_tag.length - 2] == '/';
            if ((node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG) && !IsVoid(tag) && !EndTagOptional(tag) &&
                !selfClosed)
                Add(TagProblem::UnclosedElement, TagSeverity::Error, "<" + ElementName(e) + ">");
            for (const char* name : ResourceAttributes(tag, e)) {
                const GumboAttribute* a = Attribute(e, name);
                if (!a)
                    continue;
                std::string_view value = a->value;
                // srcset lists several addresses; any plain one is loaded on some screen.
                bool insecure = std::string_view(name) == "srcset" ? Lower(value).find("http://") != std::string::npos
                                                                   : IsPlainHttp(value);
                if (insecure)
                    Add(TagProblem::InsecureResource, TagSeverity::Error, SourceValue(a));
            }
            if (tag == GUMBO_TAG_A && Attribute(e, "href") && !HasRelToken(e, {"nofollow", "sponsored"}))
                Add(TagProblem::LinkWithoutRel, TagSeverity::Warning, LinkDetail(e));
            if (tag == GUMBO_TAG_IMG) {
                std::string what = ImageDetail(e);
                if (!Attribute(e, "alt"))
                    Add(TagProblem::ImageWithoutAlt, TagSeverity::Warning, what);
                if (!Attribute(e, "width") || !Attribute(e, "height"))
                    Add(TagProblem::ImageWithoutSize, TagSeverity::Warning, what);
            }
            if (tag == GUMBO_TAG_SCRIPT && WritesDocument(e))
                Add(TagProblem::DocumentWrite, m_context.randomMode ? TagSeverity::Error : TagSeverity::Warning, "");
            // The editors keep a character CP932 cannot hold as a character
            // reference; a script or style sheet shows such a reference as it is.
            if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE)
                for (const std::string& ref : CharacterReferences(e))
                    Add(TagProblem::NotCp932, TagSeverity::Warning, ref);
        }
        for (unsigned i = 0; i < e.children.length; ++i)
            Walk(static_cast<const GumboNode*>(e.children.data[i]), HoldsRawText(tag));
    }

    static bool WritesDocument(const GumboElement& e) {
        for (unsigned i = 0; i < e.children.length; ++i) {
            auto* child = static_cast<const GumboNode*>(e.children.data[i]);
            if (child->type == GUMBO_NODE_TEXT &&
                std::string_view(child->v.text.text).find("document.write") != std::string_view::npos)
                return true;
        }
        return false;
    }

    static std::vector<std::string> CharacterReferences(const GumboElement& e) {
        std::vector<std::string> refs;
        for (unsigned i = 0; i < e.children.length; ++i) {
            auto* child = static_cast<const GumboNode*>(e.children.data[i]);
            if (child->type != GUMBO_NODE_TEXT)
                continue;
            std::string_view text = child->v.text.text;
            for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
                std::size_t end = text.find(';', at);
                if (end != std::string_view::npos && end - at <= 10)
                    refs.emplace_back(text.substr(at, end - at + 1));
            }
        }
        return refs;
    }

    static std::string LinkDetail(const GumboElement& e) { return SourceValue(Attribute(e, "href")); }
    static std::string ImageDetail(const GumboElement& e) { return SourceValue(Attribute(e, "src")); }

    // What the tree does not account for was dropped by the parser: an end tag
    // with nothing to close, or a tag cut off at the end of the text.
    void CheckLeftovers() {
        std::sort(m_covered.begin(), m_covered.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
        std::size_t pos = 0;
        for (const Span& span : m_covered) {
            if (span.begin > pos)
                ScanDropped(pos, span.begin);
            if (span.scan)
                ScanDropped(span.begin, span.end);
            pos = std::max(pos, span.end);
        }
        ScanDropped(pos, m_tag.size());
    }

    void ScanDropped(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i + 1 < end; i += Cp932::CharLength(m_tag, i)) {
            if (m_tag[i] != '<')
                continue;
            if (m_tag[i + 1] == '/' && i + 2 < end && IsAsciiLetter(m_tag[i + 2])) {
                std::size_t n = i + 2;
                while (n < end && (IsAsciiLetter(m_tag[n]) || (m_tag[n] >= '0' && m_tag[n] <= '9')))
                    ++n;
                Add(TagProblem::StrayEndTag, TagSeverity::Error, "</" + Lower(m_tag.substr(i + 2, n - i - 2)) + ">");
            } else if (IsAsciiLetter(m_tag[i + 1])) {
                std::size_t n = i + 1;
                while (n < end && n < i + 40 && m_tag[n] != '\r' && m_tag[n] != '\n')
                    ++n;
                Add(TagProblem::BrokenTag, TagSeverity::Error, Cp932::ToUtf8(m_tag.substr(i, n - i)));
                return; // the rest of the text went into the cut-off tag
            }
        }
    }

    struct Span {
        std::size_t begin;
        std::size_t end;
        bool scan;
    };

    std::string_view m_tag;
    TagCheckContext m_context;
    std::vector<TagFinding> m_findings;
    std::vector<Span> m_covered;
};

void CollectItems(const LibraryNode& node, const std::string& path, std::vector<BannerCheck>& out) {
    for (const auto& child : node.children) {
        if (!child || child->IsDeleted())
            continue;
        std::string childPath = path.empty() ? child->title : path + "/" + child->title;
        if (child->IsAdItem()) {
            std::vector<BannerCheck> item = CheckItemTags(*child, childPath);
            std::move(item.begin(), item.end(), std::back_inserter(out));
        } else {
            CollectItems(*child, childPath, out);
        }
    }
}

} // namespace

std::vector<TagFinding> CheckTag(std::string_view tag, const TagCheckContext& context) {
    return Checker(tag, context).Run();
}

const char* TagProblemId(TagProblem problem) {
    switch (problem) {
    case TagProblem::InsecureResource:
        return "insecure-resource";
    case TagProblem::UnclosedElement:
        return "unclosed-element";
    case TagProblem::StrayEndTag:
        return "stray-end-tag";
    case TagProblem::BrokenTag:
        return "broken-tag";
    case TagProblem::DocumentWrite:
        return "document-write";
    case TagProblem::LinkWithoutRel:
        return "link-without-rel";
    case TagProblem::ImageWithoutAlt:
        return "image-without-alt";
    case TagProblem::ImageWithoutSize:
        return "image-without-size";
    case TagProblem::NotCp932:
        return "not-cp932";
    case TagProblem::LinkDead:
        return "link-dead";
    case TagProblem::ImageDead:
        return "image-dead";
    case TagProblem::TlsError:
        return "tls-error";
    case TagProblem::RedirectElsewhere:
        return "redirect-elsewhere";
    case TagProblem::NotAnImage:
        return "not-an-image";
    case TagProblem::ImageSizeMismatch:
        return "image-size-mismatch";
    case TagProblem::HttpsAvailable:
        return "https-available";
    case TagProblem::Slow:
        return "slow";
    case TagProblem::LinkNotChecked:
        return "link-not-checked";
    }
    return "";
}

const char* TagProblemText(TagProblem problem) {
    switch (problem) {
    case TagProblem::InsecureResource:
        return "http:// の読み込み (HTTPSのページではブロックされます)";
    case TagProblem::UnclosedElement:
        return "閉じられていない要素 (後ろのページが崩れます)";
    case TagProblem::StrayEndTag:
        return "対応する開始タグのない終了タグ";
    case TagProblem::BrokenTag:
        return "途中で終わっているタグ (引用符や > の閉じ忘れ)";
    case TagProblem::DocumentWrite:
        return "document.write を使うスクリプト (ランダム表示では動きません)";
    case TagProblem::LinkWithoutRel:
        return "rel に nofollow も sponsored もないリンク";
    case TagProblem::ImageWithoutAlt:
        return "alt のない画像";
    case TagProblem::ImageWithoutSize:
        return "width / height のない画像";
    case TagProblem::NotCp932:
        return "Shift_JIS (CP932) で表せない文字";
    case TagProblem::LinkDead:
        return "リンク切れ";
    case TagProblem::ImageDead:
        return "表示されない画像";
    case TagProblem::TlsError:
        return "証明書を確認できないアドレス";
    case TagProblem::RedirectElsewhere:
        return "別のサイトのトップページへ転送されるリンク (提携終了のおそれ)";
    case TagProblem::NotAnImage:
        return "画像ではないものが返る画像アドレス";
    case TagProblem::ImageSizeMismatch:
        return "タグの width / height と違う大きさの画像";
    case TagProblem::HttpsAvailable:
        return "https:// でも同じものが返るアドレス";
    case TagProblem::Slow:
        return "応答が遅いアドレス (3秒以上)";
    case TagProblem::LinkNotChecked:
        return "確認しなかったアドレス (相対パス・javascript: など)";
    }
    return "";
}

bool IsOnlineProblem(TagProblem problem) {
    return problem >= TagProblem::LinkDead;
}

const char* TagSeverityText(TagSeverity severity) {
    switch (severity) {
    case TagSeverity::Error:
        return "エラー";
    case TagSeverity::Warning:
        return "警告";
    case TagSeverity::Info:
        break;
    }
    return "情報";
}

std::string DescribeFindings(const std::vector<TagFinding>& findings) {
    std::string text;
    for (const TagFinding& f : findings) {
        if (!text.empty())
            text += '\n';
        text += TagSeverityText(f.severity);
        text += ": ";
        text += TagProblemText(f.problem);
        if (!f.detail.empty())
            text += ": " + f.detail;
        if (!f.note.empty())
            text += " (" + f.note + ")";
    }
    return text;
}

TagSeverity WorstSeverity(const std::vector<TagFinding>& findings) {
    TagSeverity worst = TagSeverity::Info;
    for (const TagFinding& f : findings)
        worst = std::max(worst, f.severity);
    return worst;
}

bool HasError(const std::vector<TagFinding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const TagFinding& f) { return f.severity == TagSeverity::Error; });
}

namespace {

// Calls visit for every HTML element the parser built from the tag's own bytes
// (not those it made up, such as the fragment's wrappers), in document order.
template <typename Visit>
void ForEachSourceElement(const GumboNode* node, std::string_view tag, const Visit& visit) {
    const GumboVector* children = nullptr;
    if (node->type == GUMBO_NODE_DOCUMENT) {
        children = &node->v.document.children;
    } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        const GumboElement& e = node->v.element;
        children = &e.children;
        const char* at = e.original_tag.data;
        if (e.original_tag.length > 0 && at >= tag.data() && at < tag.data() + tag.size() &&
            e.tag_namespace == GUMBO_NAMESPACE_HTML)
            visit(e);
    } else {
        return;
    }
    for (unsigned i = 0; i < children->length; ++i)
        ForEachSourceElement(static_cast<const GumboNode*>(children->data[i]), tag, visit);
}

void CollectInsertions(const GumboNode* node, std::string_view tag, bool sponsoredRel, bool lazyImages,
                       std::vector<std::pair<std::size_t, std::string_view>>& out) {
    ForEachSourceElement(node, tag, [&](const GumboElement& e) {
        GumboStringPiece name = e.original_tag;
        if (name.length <= 2)
            return;
        // Right behind the element's name, so the tag's own attributes keep their bytes.
        gumbo_tag_from_original_text(&name);
        auto at = static_cast<std::size_t>(name.data + name.length - tag.data());
        if (sponsoredRel && e.tag == GUMBO_TAG_A && Attribute(e, "href") && !Attribute(e, "rel"))
            out.emplace_back(at, " rel=\"sponsored\"");
        if (lazyImages && e.tag == GUMBO_TAG_IMG && !Attribute(e, "loading"))
            out.emplace_back(at, " loading=\"lazy\"");
    });
}

} // namespace

std::string RewriteTagForOutput(std::string_view tag, bool sponsoredRel, bool lazyImages) {
    if (!sponsoredRel && !lazyImages)
        return std::string(tag);
    ParsedTag parsed(tag);
    std::vector<std::pair<std::size_t, std::string_view>> insertions;
    CollectInsertions(parsed.output->document, tag, sponsoredRel, lazyImages, insertions);
    if (insertions.empty())
        return std::string(tag);
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // The parser's reconstructed copies of an element (a formatting element
    // reopened after a misnested end tag) name the same source position: each
    // attribute goes in once.
    insertions.erase(std::unique(insertions.begin(), insertions.end()), insertions.end());
    std::string out;
    out.reserve(tag.size() + insertions.size() * 20);
    std::size_t pos = 0;
    for (const auto& [at, text] : insertions) {
        out.append(tag.substr(pos, at - pos));
        out.append(text);
        pos = at;
    }
    out.append(tag.substr(pos));
    return out;
}

std::vector<BannerCheck> CheckItemTags(const LibraryNode& item, const std::string& itemPath) {
    std::vector<BannerCheck> out;
    TagCheckContext context;
    context.randomMode = item.rowLimit != 0 && item.multiPage == 0;
    int index = 0;
    for (const auto& banner : item.banners) {
        if (!banner || !banner->IsLive())
            continue;
        out.push_back({itemPath, &item, banner.get(), index++, CheckTag(banner->tag, context)});
    }
    return out;
}

std::vector<BannerCheck> CheckLibraryTags(const LibraryNode& root) {
    std::vector<BannerCheck> out;
    CollectItems(root, "", out);
    return out;
}

std::string NodePathOf(const LibraryNode& root, const LibraryNode& node) {
    for (const auto& child : root.children) {
        if (!child || child->IsDeleted())
            continue;
        if (child.get() == &node)
            return child->title;
        if (std::string below = NodePathOf(*child, node); !below.empty())
            return child->title + "/" + below;
    }
    return "";
}

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string FindingsCsv(const std::vector<BannerCheck>& checks, TagSeverity minimum) {
    std::string out = "\xEF\xBB\xBF広告項目,No.,広告名,種類,内容,詳細,状態,転送先,結果,ID\r\n";
    for (const BannerCheck& c : checks) {
        for (const TagFinding& f : c.findings) {
            if (f.severity < minimum)
                continue;
            const bool online = IsOnlineProblem(f.problem);
            const std::string fields[] = {Cp932::ToUtf8(c.itemPath),
                                          std::to_string(c.index + 1),
                                          Cp932::ToUtf8(c.banner->name),
                                          TagSeverityText(f.severity),
                                          TagProblemText(f.problem),
                                          f.detail,
                                          online && f.status ? std::to_string(f.status) : std::string(),
                                          online ? f.finalUrl : std::string(),
                                          f.note,
                                          TagProblemId(f.problem)};
            for (std::size_t i = 0; i < std::size(fields); ++i)
                out += (i ? "," : "") + CsvField(fields[i]);
            out += "\r\n";
        }
    }
    return out;
}

std::vector<BannerCheck> CheckNodeTags(const LibraryNode& node, const std::string& nodePath) {
    if (node.IsAdItem())
        return CheckItemTags(node, nodePath);
    std::vector<BannerCheck> out;
    CollectItems(node, nodePath, out);
    return out;
}

namespace {

// An address as a browser reads it: the parser's value decodes character
// references but took CP932 for UTF-8, so a value with Japanese in it is
// converted from its source bytes, where only "&amp;" needs decoding in practice.
std::string UrlValue(const GumboAttribute* a) {
    std::string_view raw(a->original_value.data, a->original_value.length);
    const bool ascii = std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return std::string(TrimBlanks(a->value));
    std::string text = SourceValue(a);
    for (std::size_t at = 0; (at = text.find("&amp;", at)) != std::string::npos; ++at)
        text.replace(at, 5, "&");
    return text;
}

// The addresses of a srcset: each candidate's address up to its blank, the
// descriptors after it skipped.
void AddSrcset(const std::string& value, TagUrlKind kind, std::vector<TagUrl>& out) {
    const char* blanks = " \t\r\n\f";
    std::size_t pos = 0;
    while (pos < value.size()) {
        pos = value.find_first_not_of(std::string(blanks) + ",", pos);
        if (pos == std::string::npos)
            break;
        std::size_t end = value.find_first_of(blanks, pos);
        std::string url = value.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        const bool endsCandidate = !url.empty() && url.back() == ',';
        while (!url.empty() && url.back() == ',')
            url.pop_back();
        if (!url.empty())
            out.push_back({url, kind});
        if (end == std::string::npos)
            break;
        pos = endsCandidate ? end : value.find(',', end);
        if (pos == std::string::npos)
            break;
    }
}

int PixelAttribute(const GumboElement& e, const char* name) {
    const GumboAttribute* a = Attribute(e, name);
    if (!a)
        return 0;
    std::string_view value = TrimBlanks(a->value);
    if (value.empty() || value.size() > 6 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::stoi(std::string(value));
}

void CollectUrls(const GumboNode* root, std::string_view tag, std::vector<TagUrl>& out) {
    std::vector<const char*> seen;
    ForEachSourceElement(root, tag, [&](const GumboElement& e) {
        // The parser's reconstructed copies of an element share its source position.
        if (std::find(seen.begin(), seen.end(), e.original_tag.data) != seen.end())
            return;
        seen.push_back(e.original_tag.data);
        auto add = [&](const char* name, TagUrlKind kind) {
            if (const GumboAttribute* a = Attribute(e, name); a && !TrimBlanks(a->value).empty())
                out.push_back({UrlValue(a), kind});
        };
        switch (e.tag) {
        case GUMBO_TAG_A:
            add("href", TagUrlKind::Link);
            break;
        case GUMBO_TAG_IMG: {
            const std::size_t before = out.size();
            add("src", TagUrlKind::Image);
            if (out.size() > before) {
                out.back().width = PixelAttribute(e, "width");
                out.back().height = PixelAttribute(e, "height");
            }
            if (const GumboAttribute* a = Attribute(e, "srcset"))
                AddSrcset(UrlValue(a), TagUrlKind::Image, out);
            break;
        }
        case GUMBO_TAG_SCRIPT:
            add("src", TagUrlKind::Script);
            break;
        case GUMBO_TAG_IFRAME:
            add("src", TagUrlKind::Frame);
            break;
        case GUMBO_TAG_SOURCE:
            add("src", TagUrlKind::Media);
            if (const GumboAttribute* a = Attribute(e, "srcset"))
                AddSrcset(UrlValue(a), TagUrlKind::Image, out);
            break;
        default:
            break;
        }
    });
}

} // namespace

std::vector<TagUrl> UrlsOfTag(std::string_view tag) {
    ParsedTag parsed(tag);
    std::vector<TagUrl> out;
    CollectUrls(parsed.output->document, tag, out);
    return out;
}
