#pragma once

#include <QStringList>

#include "stylemaker/style/PreviewThread.h"

#include <memory>
#include <string>

namespace vessilo {

class CMainFrame;
class CVessiloDoc;

// Start-up and shutdown of Vessilo: the preview events, the temporary preview
// paths, the document and the window.
class CVessiloApp {
public:
    CVessiloApp();
    ~CVessiloApp();

    // Shows the window with a new document; false when the program should end.
    // arguments: the command line without the program name; the first names a style file to open.
    bool InitInstance(const QStringList& arguments = {});
    // Closes the window (stopping the preview) and deletes the temporary files.
    void ExitInstance();

    // "<module dir>html/css<yymmddHHMMSS>.html" and ".css" for the given start time.
    static std::string PreviewPath(const std::string& moduleDir, const std::string& stamp, const char* extension);
    static std::string StartStamp();

    const std::string& PreviewHtmlPath() const { return m_htmlPath; }
    const std::string& PreviewCssPath() const { return m_cssPath; }
    CMainFrame* Frame() const { return m_frame.get(); }
    CVessiloDoc* Doc() const { return m_doc.get(); }

private:
    std::shared_ptr<PreviewEvents> m_events;
    std::string m_htmlPath;
    std::string m_cssPath;
    std::unique_ptr<CVessiloDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace vessilo
