#include "stylemaker/ui/VessiloApp.h"

#include "common/FileOps.h"
#include "common/AppPaths.h"
#include "common/ui/Prompter.h"
#include "stylemaker/ui/MainFrame.h"
#include "stylemaker/ui/VessiloDoc.h"
#include "stylemaker/ui/VessiloView.h"

#include <ctime>

#include <QFileInfo>

namespace vessilo {

CVessiloApp::CVessiloApp() = default;

CVessiloApp::~CVessiloApp() {
    ExitInstance();
}

std::string CVessiloApp::StartStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%y%m%d%H%M%S", &local);
    return stamp;
}

std::string CVessiloApp::PreviewPath(const std::string& moduleDir, const std::string& stamp, const char* extension) {
    return moduleDir + "html/css" + stamp + "." + extension;
}

bool CVessiloApp::InitInstance(const QStringList& arguments) {
    Prompter::SetTitle(CMainFrame::AppTitle());
    // This window's own pair: another running Vessilo keeps its preview.
    m_events = std::make_shared<PreviewEvents>();
    std::string pages = AppPaths::PageBaseDir();
    std::string stamp = StartStamp();
    m_htmlPath = PreviewPath(pages, stamp, "html");
    m_cssPath = PreviewPath(pages, stamp, "css");

    m_doc = std::make_unique<CVessiloDoc>(m_events);
    m_frame = std::make_unique<CMainFrame>(m_doc.get(), m_htmlPath, m_cssPath);
    m_frame->resize(m_frame->sizeHint());
    m_frame->show();
    m_frame->View()->OnInitialUpdate();
    // A style file named on the command line (a double-click, xdg-open).
    if (!arguments.isEmpty() && !arguments.constFirst().isEmpty())
        m_doc->OpenPath(QFileInfo(arguments.constFirst()).absoluteFilePath());
    return true;
}

void CVessiloApp::ExitInstance() {
    if (!m_doc)
        return;
    // The view stops the preview thread before the files go.
    m_frame.reset();
    m_doc.reset();
    FileOps::RemoveFileRetry(m_htmlPath);
    FileOps::RemoveFileRetry(m_cssPath);
}

} // namespace vessilo
