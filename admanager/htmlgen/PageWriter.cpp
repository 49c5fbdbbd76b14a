#include "admanager/htmlgen/PageWriter.h"

#include "common/Cp932.h"
#include "common/FileOps.h"

namespace {

// Writes the page in one piece; a partly written file is left for the caller to
// replace next time.
bool WritePage(const std::string& filePath, std::string_view page) {
    FileOps::File file = FileOps::File::Open(filePath, FileOps::File::Mode::CreateTruncate);
    if (!file.IsOpen())
        return false;
    bool written = file.WriteAll(page);
    return file.Close() && written;
}

} // namespace

bool WritePreviewPage(std::string_view block, std::string_view styleSheetPath, const std::string& filePath) {
    static const std::string title = Cp932::FromUtf8("<title>Zelvor管理 プレビューページ</title>\n");
    std::string page;
    page.reserve(block.size() + styleSheetPath.size() + 256);
    page += "<html><head>\n";
    page += "<META HTTP-EQUIV=\"Content-Style-Type\" content=\"text/css\">\n";
    if (!styleSheetPath.empty()) {
        page += "<link rel=\"stylesheet\" type=\"text/css\" href=\"";
        page += styleSheetPath;
        page += "\">\n";
    }
    page += title;
    page += "</head><body>\n\n";
    page += block;
    page += "\n\n</body></html>\n";
    return WritePage(filePath, page);
}

bool WriteWorkPage(const std::string& filePath, const Banner* banner) {
    if (!banner)
        return false;
    std::string page;
    page.reserve(banner->name.size() + banner->tag.size() + 96);
    page += "<html>\n<head>\n<title>";
    page += banner->name;
    page += "</title>\n</head>\n<body>\n";
    page += banner->tag;
    page += "\n</body>\n</html>\n";
    return WritePage(filePath, page);
}
