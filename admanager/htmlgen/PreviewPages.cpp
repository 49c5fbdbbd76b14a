#include "admanager/htmlgen/PreviewPages.h"

#include "common/Publisher.h"

namespace PreviewPages {

std::string PagePath(const std::string& moduleDir, const char* page) {
    return moduleDir + kFolder + "/" + page;
}

std::string VersionPageUrl() {
    // Version 1.00 as ver1=1, ver2=0, ver3=0.
    return std::string(Publisher::kVersionPageUrl) + "?ver1=1&ver2=0&ver3=0&a=0&b=0";
}

} // namespace PreviewPages

TagPreviewDecision DecideTagPreview(bool rootSelected, bool boxEnabled, bool boxTicked, std::int32_t preview) {
    using Page = TagPreviewDecision::Page;
    if (rootSelected)
        return {Page::TopPage, preview};
    // A disabled box keeps its tick, so the setting survives folders and empty lists.
    if ((!boxTicked && preview == 1) || !boxEnabled)
        return {Page::BlankPage, boxTicked ? 1 : 0};
    if (boxTicked)
        return {Page::WorkPage, 1};
    return {Page::Unchanged, preview};
}
