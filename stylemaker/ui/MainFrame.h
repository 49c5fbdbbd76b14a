#pragma once

#include <QMainWindow>
#include <map>
#include <string>

class QAction;

namespace vessilo {

class CVessiloDoc;
class CVessiloView;

// Command ids of Vessilo's menu.
namespace Cmd {
constexpr int FileNew = 57600;
constexpr int FileOpen = 57601;
constexpr int FileSave = 57603;
constexpr int FileSaveAs = 57604;
constexpr int CssOutput = 32771;
constexpr int AppExit = 57665;
constexpr int AppAbout = 57664;
} // namespace Cmd

// Vessilo's main window: menus, caption, and the view as its only content.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CVessiloDoc* doc, std::string htmlPath, std::string cssPath, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVessiloView* View() const { return m_view; }
    QAction* Action(int id) const;
    static QString AppTitle();

protected:
    // Asks about unsaved changes first; Cancel keeps the window open.
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key = {});
    void UpdateCaption();

    CVessiloDoc* m_doc;
    CVessiloView* m_view;
    std::map<int, QAction*> m_actions;
};

} // namespace vessilo
