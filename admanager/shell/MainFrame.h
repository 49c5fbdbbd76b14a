#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class CAfManagerDoc;
class CLeftView;
class CRightView;
class CDataCtrlView;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

// Position and sizes the frame keeps across runs; -1 where nothing is stored.
struct WindowGeometry {
    int x = -1, y = -1, width = -1, height = -1;
    int leftWidth = -1, rightWidth = -1, topHeight = -1, bottomHeight = -1;
};

// One entry of the link menu: an ASP's name and web address.
struct LinkEntry {
    QString name;
    QString url;
};

// The main window: menus, toolbar, status bar and the three panes.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CAfManagerDoc& doc, const WindowGeometry& geometry, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The action of a command id (also those of the context menus' own texts).
    QAction* Action(int id) const;
    // Enables every command from the document's state; run on every change.
    void UpdateCommandUI();
    // The geometry to store: the restored rectangle, also when maximised.
    WindowGeometry CurrentGeometry() const;

    // Where the link menu's ASP entries come from.
    void SetLinkSource(std::function<std::vector<LinkEntry>()> source) { m_links = std::move(source); }
    // Handlers of the commands the shell owns (tools, settings, help, links).
    void SetCommandHandler(int id, std::function<void()> handler);
    // Opens a web address or local page with the desktop's default action.
    void SetUrlOpener(std::function<void(const QString&)> opener) { m_openUrl = std::move(opener); }

    QMenu* LinkMenu() const { return m_linkMenu; }
    QMenu* NodeMenu() const { return m_nodeMenu; }
    QMenu* BannerMenu() const { return m_bannerMenu; }
    QSplitter* OuterSplitter() const { return m_outer; }
    QSplitter* InnerSplitter() const { return m_inner; }
    CLeftView* TreePane() const { return m_left; }
    CRightView* ListPane() const { return m_right; }
    CDataCtrlView* EditorPane() const { return m_editor; }
    // The status-bar prompt of a link command id.
    QString LinkPrompt(int id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QAction* MakeAction(int id, const QString& text, const QString& prompt, const char* icon = nullptr);
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildPanes(const WindowGeometry& geometry);
    void ApplyPlacement(const WindowGeometry& geometry);
    void RebuildLinkMenu();
    void UpdateCaption();
    void RunHandler(int id);

    CAfManagerDoc& m_doc;
    std::map<int, QAction*> m_actions;
    std::vector<QAction*> m_bannerMenuActions; // the banner popup's own texts
    std::map<int, std::function<void()>> m_handlers;
    std::function<std::vector<LinkEntry>()> m_links;
    std::function<void(const QString&)> m_openUrl;
    std::vector<LinkEntry> m_shownLinks;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_linkMenu = nullptr;
    QMenu* m_nodeMenu = nullptr;
    QMenu* m_bannerMenu = nullptr;
    QSplitter* m_outer = nullptr;
    QSplitter* m_inner = nullptr;
    CLeftView* m_left = nullptr;
    CRightView* m_right = nullptr;
    CDataCtrlView* m_editor = nullptr;
    QRect m_normalGeometry;
    QList<int> m_columns;
    QList<int> m_rows;
    bool m_shownOnce = false;
};
