// Feeds arbitrary bytes to the banner tag checks and the output rewrite: tags
// come from ASP pages and hand edits, anything may be in them.
#include "admanager/htmlgen/TagCheck.h"
#include "admanager/linkcheck/LinkCheck.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view tag(reinterpret_cast<const char*>(data), size);
    CheckTag(tag, {.randomMode = size % 2 == 0});
    // The addresses the link check would fetch, and what it says of them unanswered.
    const std::vector<TagUrl> urls = UrlsOfTag(tag);
    for (const TagFinding& f : LinkFindings(urls, {}))
        if (f.problem != TagProblem::LinkNotChecked)
            std::abort();
    if (RewriteTagForOutput(tag, false, false) != tag)
        std::abort();
    // The rewrite only inserts: every byte of the tag stays, in order.
    const std::string out = RewriteTagForOutput(tag, true, true);
    std::size_t at = 0;
    for (char c : tag) {
        at = out.find(c, at);
        if (at == std::string::npos)
            std::abort();
        ++at;
    }
    return 0;
}
