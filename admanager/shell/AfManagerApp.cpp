#include "admanager/shell/AfManagerApp.h"

#include "admanager/CommandIds.h"
#include "admanager/htmlgen/PreviewPages.h"
#include "admanager/htmlgen/ui/TagCheckDlg.h"
#include "admanager/library/LibraryNode.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/panes/DataCtrlView.h"
#include "admanager/settings/Association.h"
#include "admanager/settings/ui/AspDlg.h"
#include "admanager/settings/ui/FtpHostDlg.h"
#include "admanager/upload/ui/PublishDlg.h"
#include "admanager/settings/ui/SettingsDlg.h"
#include "admanager/shell/AboutDlg.h"
#include "admanager/shell/AssociationPromptDlg.h"
#include "admanager/shell/SplashWnd.h"
#include "common/AppPaths.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"
#include "common/Publisher.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"

#include <QDesktopServices>
#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QStatusBar>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

QString Latin1(std::string_view ascii) { return QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size())); }

// The window's geometry keys of the settings, and back.
WindowGeometry GeometryOf(const AppSettings& s) {
    return {s.xPos, s.yPos, s.width, s.height, s.leftW, s.rightW, s.topH, s.bottomH};
}

void StoreGeometry(const WindowGeometry& g, AppSettings& s) {
    s.xPos = g.x;
    s.yPos = g.y;
    s.width = g.width;
    s.height = g.height;
    s.leftW = g.leftWidth;
    s.rightW = g.rightWidth;
    s.topH = g.topHeight;
    s.bottomH = g.bottomHeight;
}

void Stop(const QString& text) { Prompter::Current().Message(nullptr, text, Prompter::Icon::Stop); }

CAfManagerApp::Hooks DefaultHooks() {
    CAfManagerApp::Hooks hooks;
    hooks.openUrl = [](const QString& target) {
        QUrl url = target.contains(u"://"_qs) ? QUrl(target) : QUrl::fromLocalFile(target);
        QDesktopServices::openUrl(url);
    };
    hooks.startProgram = [](const QString& path) { return QProcess::startDetached(path, {}); };
    return hooks;
}

// Raising another program's window is up to the window manager: on X11 wmctrl
// can ask it, when installed; elsewhere there is no way and nothing happens.
void RaiseWindowTitled(const QString& title) {
    if (QGuiApplication::platformName() != u"xcb"_qs)
        return;
    const QString wmctrl = QStandardPaths::findExecutable(u"wmctrl"_qs);
    if (!wmctrl.isEmpty())
        QProcess::startDetached(wmctrl, {u"-F"_qs, u"-a"_qs, title});
}

// A login tool that is starting needs a moment before its window exists.
constexpr int kLoginWindowWaitMs = 250;

} // namespace

CAfManagerApp::CAfManagerApp() : CAfManagerApp(DefaultHooks()) {}

CAfManagerApp::CAfManagerApp(Hooks hooks) : m_hooks(std::move(hooks)) {
    CAfManagerApp::Hooks defaults = DefaultHooks();
    if (!m_hooks.openUrl)
        m_hooks.openUrl = defaults.openUrl;
    if (!m_hooks.startProgram)
        m_hooks.startProgram = defaults.startProgram;
}

CAfManagerApp::~CAfManagerApp() {
    m_frame.reset();
    m_doc.reset();
}

std::string CAfManagerApp::ModuleDirectory() const { return ModuleDir::Get(); }

bool CAfManagerApp::InitInstance(const QStringList& arguments) {
    switch (m_lock.Acquire("ZOVA_AF_MUTEX")) {
    case InstanceLock::Result::Failed:
        // No safe place for the lock file: say so and run without it, rather
        // than end without a word.
        Prompter::Current().Message(nullptr,
                                    u"二重起動を防ぐためのロックファイルを作成できませんでした。"
                                    u"ほかに起動していないか確認してください。このまま起動します。"_qs,
                                    Prompter::Icon::Exclamation);
        break;
    case InstanceLock::Result::AlreadyHeld:
        Prompter::Current().Message(nullptr, u"すでに起動しています。"_qs, Prompter::Icon::Exclamation);
        return false;
    case InstanceLock::Result::Acquired: break;
    }
    m_started = true;

    if (m_hooks.showSplash)
        (new CSplashWnd)->show();

    const std::string settingsDir = AppPaths::SettingsDir();
    const bool firstStart = !FileOps::FileExists(SettingsFile::PathIn(settingsDir));
    if (!LoadSettings(m_settings, settingsDir))
        Stop(u"設定値の読み込みに失敗しました。"_qs);
    // An installed copy contacts no server unasked: a new user starts with the
    // version check off. A portable copy keeps the original default.
    if (firstStart && AppPaths::IsInstalled())
        m_settings.checkVersion = 0;
    SetNodeIdCounter(m_settings.lastIndex);
    if (m_settings.useLastFile == 0)
        m_settings.lastFile.clear();
    if (!LoadAspList(m_aspList, settingsDir))
        Stop(u"ASPリストの読み込みに失敗しました。"_qs);
    if (!LoadFtpHostList(m_ftpList, settingsDir))
        Stop(u"FTPホストリストの読み込みに失敗しました。"_qs);

    // A library named on the command line replaces last_file, even when the last
    // file is not to be reopened. A path the settings cannot hold is refused.
    bool named = false;
    if (!arguments.isEmpty() && !arguments.constFirst().isEmpty()) {
        std::string path = Cp932Qt::FromQt(QFileInfo(arguments.constFirst()).absoluteFilePath());
        named = path.size() <= kMaxPathBytes;
        if (named)
            m_settings.lastFile = path;
    }

    m_doc = std::make_unique<CAfManagerDoc>(m_settings.lastFile, m_settings, m_aspList);
    m_doc->SetFtpHosts(&m_ftpList);
    m_doc->SetStartFileNamed(named);
    m_frame = std::make_unique<CMainFrame>(*m_doc, GeometryOf(m_settings));
    // A settings or history file that others could read is made private when
    // written; the status bar says so, once per file (writes may come from the
    // publishing worker, hence the queued call).
    FileOps::SetPrivateFileNotice([frame = QPointer<CMainFrame>(m_frame.get())](const std::string& path) {
        const QString text = u"「"_qs + QString::fromStdString(path) +
                             u"」はほかのユーザも読める状態だったため、本人だけが読み書きできるようにしました。"_qs;
        QMetaObject::invokeMethod(
            qApp,
            [frame, text] {
                if (frame)
                    frame->statusBar()->showMessage(text, 15000);
            },
            Qt::QueuedConnection);
    });
    InstallCommands();
    m_doc->OnFirstInit();

    m_frame->show();
    m_frame->repaint();
    // Holding the instance lock, any recovery copy is from a run that ended unsaved.
    if (m_lock.Held())
        m_doc->OfferRecovery();
    CheckAssociation();
    return true;
}

void CAfManagerApp::CheckAssociation() {
    if (Association::IsAssociated(ModuleDirectory()) || m_settings.registMessage == 0)
        return;
    CAssociationPromptDlg prompt(m_frame.get());
    if (prompt.exec() == QDialog::Accepted)
        Association::Associate(ModuleDirectory());
    m_settings.registMessage = prompt.ShowAgain() ? 1 : 0;
}

void CAfManagerApp::InstallCommands() {
    const QString moduleDir = Cp932Qt::ToQt(ModuleDirectory());
    CMainFrame* frame = m_frame.get();
    frame->SetUrlOpener(m_hooks.openUrl);
    frame->SetLinkSource([this] {
        std::vector<LinkEntry> links;
        for (const AspEntry& e : m_aspList.entries)
            links.push_back({Cp932Qt::ToQt(e.name), Cp932Qt::ToQt(e.url)});
        return links;
    });
    frame->SetCommandHandler(Cmd::About, [this] { ShowAbout(); });
    frame->SetCommandHandler(Cmd::Help, [this, moduleDir] { m_hooks.openUrl(moduleDir + u"help.html"_qs); });
    frame->SetCommandHandler(Cmd::LinkHome,
                             [this] { m_hooks.openUrl(Latin1(Publisher::kHomePageUrl)); });
    // The explanation ships with the program: it opens without a network.
    frame->SetCommandHandler(Cmd::LinkAspGuide, [this, moduleDir] { m_hooks.openUrl(moduleDir + u"html/asp.html"_qs); });
    frame->SetCommandHandler(Cmd::CssMaker, [this, moduleDir] { m_hooks.startProgram(moduleDir + u"Vessilo"_qs); });
    frame->SetCommandHandler(Cmd::LoginTool, [this, moduleDir] {
        // The login tool is a separate program; a missing one is not reported,
        // and one already running is still brought to the front.
        m_hooks.startProgram(moduleDir + u"zova_al"_qs);
        QTimer::singleShot(kLoginWindowWaitMs, m_frame.get(), [this] {
            const QString title = u"ZelvorLogin"_qs;
            if (m_hooks.raiseWindow)
                m_hooks.raiseWindow(title);
            else
                RaiseWindowTitled(title);
        });
    });
    frame->SetCommandHandler(Cmd::AppSettings, [this] {
        CSettingsDlg dialog(m_settings, ModuleDirectory(), m_frame.get());
        dialog.exec();
    });
    frame->SetCommandHandler(Cmd::TagCheck, [this] {
        CTagCheckDlg dialog(m_doc->Library().root, m_frame.get());
        dialog.exec();
        // A finding chosen in the report: its ad item and banner are shown for editing.
        if (const CTagCheckDlg::Target target = dialog.Chosen(); target.item)
            m_doc->ShowPlace({const_cast<LibraryNode*>(target.item), const_cast<Banner*>(target.banner)}, false);
    });
    // Only here, at the user's word, is anything fetched from the addresses in the tags.
    frame->SetCommandHandler(Cmd::LinkCheck, [this] {
        const LibraryNode& root = m_doc->Library().root;
        const LibraryNode* node = m_doc->State().currentNode ? m_doc->State().currentNode : &root;
        CTagCheckDlg::LinkCheck check;
        check.node = node;
        check.nodePath = NodePathOf(root, *node);
        check.setup.cachePath = DefaultLinkCachePath();
        CTagCheckDlg dialog(std::move(check), m_frame.get());
        dialog.exec();
        m_doc->AddLinkResults(dialog.LinkResults());
        if (const CTagCheckDlg::Target target = dialog.Chosen(); target.item)
            m_doc->ShowPlace({const_cast<LibraryNode*>(target.item), const_cast<Banner*>(target.banner)}, false);
    });
    frame->SetCommandHandler(Cmd::AspSettings, [this] {
        EditAspList(m_aspList, AppPaths::SettingsDir(), m_hooks.openUrl, [this] { m_frame->EditorPane()->RefillAspList(); },
                    m_frame.get());
    });
    frame->SetCommandHandler(Cmd::FtpSettings, [this] { EditFtpHostList(m_ftpList, AppPaths::SettingsDir(), m_frame.get()); });
    frame->SetCommandHandler(Cmd::PublishAll, [this] {
        CPublishDlg dialog(m_doc->Library(), m_doc->FilePath().toStdString(), m_ftpList, AppPaths::SettingsDir(),
                           m_settings, m_frame.get());
        dialog.exec();
    });
}

void CAfManagerApp::ShowAbout() {
    CAboutDlg about(Latin1(Publisher::kHomePageUrl), m_hooks.openUrl, m_frame.get());
    about.exec();
}

void CAfManagerApp::ExitInstance() {
    if (!m_started)
        return;
    const std::string settingsDir = AppPaths::SettingsDir();
    if (m_frame)
        StoreGeometry(m_frame->CurrentGeometry(), m_settings);
    m_settings.lastIndex = GetNodeIdCounter();
    if (!SaveSettings(m_settings, settingsDir))
        Stop(u"アプリケーション設定データの保存に失敗しました。"_qs);
    if (!SaveAspList(m_aspList, settingsDir))
        Stop(u"ASPリストの保存に失敗しました。"_qs);
    if (!SaveFtpHostList(m_ftpList, settingsDir))
        Stop(u"FTPホストリストの保存に失敗しました。"_qs);
    const std::string pages = AppPaths::PageBaseDir();
    FileOps::RemoveFileRetry(PreviewPages::PagePath(pages, PreviewPages::kWorkPage));
    FileOps::RemoveFileRetry(PreviewPages::PagePath(pages, PreviewPages::kPreviewPage));
    m_frame.reset();
    m_doc.reset();
    m_lock.Release();
    m_started = false;
}
