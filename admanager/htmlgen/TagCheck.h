#pragma once

#include "admanager/library/LibraryNode.h"

#include <string>
#include <string_view>
#include <vector>

// Checks of a banner's tag (CP932 bytes) with an HTML5 parser, so the tag is
// seen the way a browser builds it: what will be blocked on an HTTPS page, what
// breaks the page around it, what breaks the random-rotation script, and what
// search engines and readers expect of affiliate links and images.

// Ordered: a later one is worse.
enum class TagSeverity { Info, Warning, Error };

enum class TagProblem {
    InsecureResource, // an http:// image, script, frame or style sheet
    UnclosedElement,  // an element whose end tag never comes
    StrayEndTag,      // an end tag with nothing open to close
    BrokenTag,        // a tag cut off (unclosed quote, missing ">")
    DocumentWrite,    // an inline script that writes with document.write
    LinkWithoutRel,   // a link without rel "nofollow" or "sponsored"
    ImageWithoutAlt,
    ImageWithoutSize, // width or height missing
    NotCp932,         // bytes that are no CP932 text
    // Found online, by fetching what the tag points at.
    LinkDead,          // 404, 410, 5xx, no such host, refused, no answer
    ImageDead,         // the same for an image
    TlsError,          // the certificate does not verify
    RedirectElsewhere, // a link ends on another site's top page
    NotAnImage,        // an image address answering with something else, or nothing
    ImageSizeMismatch, // the image's pixel size differs from the tag's width/height
    HttpsAvailable,    // an http:// address that answers the same over https://
    Slow,              // no answer within 3 s
    LinkNotChecked,    // relative, javascript: and other addresses not fetched
};

struct TagFinding {
    TagProblem problem;
    TagSeverity severity;
    std::string detail; // UTF-8: the address, the element, ...
    // Online findings only: the final HTTP status (0 without an answer), the
    // address after redirects, and what was seen (UTF-8, e.g. "404", "画像 1×1").
    int status = 0;
    std::string finalUrl;
    std::string note;
};

struct TagCheckContext {
    // The item writes the random-rotation script: document.write in a tag breaks it.
    bool randomMode = false;
};

std::vector<TagFinding> CheckTag(std::string_view tag, const TagCheckContext& context = {});

// Stable identifier for scripts ("insecure-resource", ...).
const char* TagProblemId(TagProblem problem);
// The user's text (UTF-8), e.g. "http:// の読み込み (HTTPSのページではブロックされます)".
const char* TagProblemText(TagProblem problem);
// Found by fetching (status, finalUrl and note apply).
bool IsOnlineProblem(TagProblem problem);
// "エラー", "警告" or "情報".
const char* TagSeverityText(TagSeverity severity);
// One line per finding: "エラー: text: detail" (UTF-8).
std::string DescribeFindings(const std::vector<TagFinding>& findings);
bool HasError(const std::vector<TagFinding>& findings);
// The worst severity among findings (not empty).
TagSeverity WorstSeverity(const std::vector<TagFinding>& findings);

// The tag as the generator writes it when asked to: rel="sponsored" on links that
// have no rel, loading="lazy" on images that have no loading. Nothing else moves;
// the stored tag is not touched.
std::string RewriteTagForOutput(std::string_view tag, bool sponsoredRel, bool lazyImages);

// Every live banner of every live ad item under a node, in tree order.
struct BannerCheck {
    std::string itemPath; // titles from the root's child down, joined by "/" (CP932)
    const LibraryNode* item = nullptr;
    const Banner* banner = nullptr;
    int index = 0; // among the item's live banners, from 0
    std::vector<TagFinding> findings;
};
std::vector<BannerCheck> CheckLibraryTags(const LibraryNode& root);
// The same for one ad item.
std::vector<BannerCheck> CheckItemTags(const LibraryNode& item, const std::string& itemPath);
// The same for a folder (every ad item under it) or an ad item.
std::vector<BannerCheck> CheckNodeTags(const LibraryNode& node, const std::string& nodePath);

// The titles from the root's child down to node, joined by "/" (CP932); empty
// for the root or a node not under it.
std::string NodePathOf(const LibraryNode& root, const LibraryNode& node);

// The findings as CSV for a spreadsheet: UTF-8 with a byte order mark, CRLF,
// one row per finding at least as severe as minimum.
std::string FindingsCsv(const std::vector<BannerCheck>& checks, TagSeverity minimum = TagSeverity::Info);

// Every address a tag makes a browser fetch or offers as a link, in tag order:
// a href, img src and srcset, script src, iframe src, source src and srcset.
enum class TagUrlKind { Link, Image, Script, Frame, Media };
struct TagUrl {
    std::string url; // UTF-8, blanks trimmed, as written (maybe relative)
    TagUrlKind kind = TagUrlKind::Link;
    // img's width and height attributes in pixels; 0 when absent or not a
    // plain number. Only for img src, not for srcset candidates.
    int width = 0;
    int height = 0;
};
std::vector<TagUrl> UrlsOfTag(std::string_view tag);
