#pragma once

#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/shell/MainFrame.h"
#include "common/InstanceLock.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class CAfManagerDoc;
class CMainFrame;
class QWidget;

// The ad manager's application object: start-up in a fixed order, shutdown
// writing settings and lists back.
class CAfManagerApp {
public:
    struct Hooks {
        // Opens a web address or a local page; the desktop's default by default.
        std::function<void(const QString&)> openUrl;
        // Starts a program of the program folder; detached by default.
        std::function<bool(const QString&)> startProgram;
        // Brings another program's top-level window of this title to the front;
        // best effort (see RaiseWindowTitled) when empty.
        std::function<void(const QString&)> raiseWindow;
        bool showSplash = true;
    };

    CAfManagerApp();
    explicit CAfManagerApp(Hooks hooks);
    ~CAfManagerApp();

    // Runs start-up with the program's arguments (without the program name).
    // False: end at once (a second copy, or the window could not be made).
    bool InitInstance(const QStringList& arguments);
    // Shutdown; does nothing when start-up was refused.
    void ExitInstance();

    CAfManagerDoc* Document() const { return m_doc.get(); }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    AppSettings& Settings() { return m_settings; }
    AspList& Asp() { return m_aspList; }
    FtpHostList& FtpHosts() { return m_ftpList; }
    std::string ModuleDirectory() const;

    // The longest library path the settings can carry.
    static constexpr std::size_t kMaxPathBytes = 259;

private:
    void InstallCommands();
    void ShowAbout();
    void CheckAssociation();

    Hooks m_hooks;
    InstanceLock m_lock;
    bool m_started = false;
    AppSettings m_settings;
    AspList m_aspList;
    FtpHostList m_ftpList;
    std::unique_ptr<CAfManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};
