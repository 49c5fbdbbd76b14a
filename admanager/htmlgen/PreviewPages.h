#pragma once

#include <cstdint>
#include <string>

// The pages the ad manager's browsers show, in the "html" folder of the
// program folder, and when the editor pane shows which.
namespace PreviewPages {

constexpr char kFolder[] = "html";
constexpr char kPreviewPage[] = "prevpage.html";
constexpr char kWorkPage[] = "workpage.html";
constexpr char kBlankPage[] = "null.html";
constexpr char kTopPage[] = "top.html";

// moduleDir ends in '/'.
std::string PagePath(const std::string& moduleDir, const char* page);

// The publisher's version page for this program's version.
std::string VersionPageUrl();

} // namespace PreviewPages

// What the editor pane's browser does after a selection or a click on "タグ".
struct TagPreviewDecision {
    enum class Page { TopPage, BlankPage, Unchanged, WorkPage };
    Page page;
    std::int32_t preview; // the preview setting afterwards
};

// rootSelected: the tree's current node is the root. boxEnabled/boxTicked: the
// state of the "タグ" check box. preview: the setting as it is now.
TagPreviewDecision DecideTagPreview(bool rootSelected, bool boxEnabled, bool boxTicked, std::int32_t preview);
