#pragma once

#include "admanager/library/LibraryNode.h"

#include <string>
#include <string_view>
#include <vector>

// Checks of a banner's tag (CP932 bytes) with an HTML5 parser, so the tag is
// seen the way a browser builds it: what will be blocked on an HTTPS page, what
// breaks the page around it, what breaks the random-rotation script, and what
// search engines and readers expect of affiliate links and images.

enum class TagSeverity { Warning, Error };

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
};

struct TagFinding {
    TagProblem problem;
    TagSeverity severity;
    std::string detail; // UTF-8: the address, the element, ...
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
// "エラー" or "警告".
const char* TagSeverityText(TagSeverity severity);
// One line per finding: "エラー: text: detail" (UTF-8).
std::string DescribeFindings(const std::vector<TagFinding>& findings);
bool HasError(const std::vector<TagFinding>& findings);

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
