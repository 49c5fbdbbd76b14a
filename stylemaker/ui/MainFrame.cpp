#include "stylemaker/ui/MainFrame.h"

#include "stylemaker/ui/VessiloAboutDlg.h"
#include "stylemaker/ui/VessiloDoc.h"
#include "stylemaker/ui/VessiloView.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>

// The icons live in a static library: register them before first use.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace vessilo {

CMainFrame::CMainFrame(CVessiloDoc* doc, std::string htmlPath, std::string cssPath, QWidget* parent)
    : QMainWindow(parent), m_doc(doc) {
    InitIconResources();
    setObjectName(u"ZovaAffiliateCSSMaker"_qs);
    setWindowIcon(QIcon(u":/icons/vessilo.svg"_qs));
    m_view = new CVessiloView(doc, std::move(htmlPath), std::move(cssPath), this);
    setCentralWidget(m_view);

    QMenu* file = menuBar()->addMenu(u"ファイル(&F)"_qs);
    AddCommand(file, Cmd::FileNew, u"新規作成(&N)"_qs, QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(file, Cmd::FileOpen, u"開く(&O)..."_qs, QKeySequence(Qt::CTRL | Qt::Key_O));
    AddCommand(file, Cmd::FileSave, u"上書き保存(&S)"_qs, QKeySequence(Qt::CTRL | Qt::Key_S));
    AddCommand(file, Cmd::FileSaveAs, u"名前を付けて保存(&A)..."_qs);
    file->addSeparator();
    AddCommand(file, Cmd::CssOutput, u"CSSファイル出力(&C)"_qs);
    file->addSeparator();
    AddCommand(file, Cmd::AppExit, u"アプリケーションの終了(&X)"_qs);
    QMenu* help = menuBar()->addMenu(u"ヘルプ(&H)"_qs);
    AddCommand(help, Cmd::AppAbout, u"バージョン情報(&A)..."_qs);

    connect(Action(Cmd::FileNew), &QAction::triggered, m_doc, &CVessiloDoc::OnFileNew);
    connect(Action(Cmd::FileOpen), &QAction::triggered, m_doc, &CVessiloDoc::OnFileOpen);
    connect(Action(Cmd::FileSave), &QAction::triggered, m_doc, [this] { m_doc->OnFileSave(); });
    connect(Action(Cmd::FileSaveAs), &QAction::triggered, m_doc, [this] { m_doc->OnFileSaveAs(); });
    connect(Action(Cmd::CssOutput), &QAction::triggered, m_doc, &CVessiloDoc::OnCssOutput);
    connect(Action(Cmd::AppExit), &QAction::triggered, this, &QWidget::close);
    connect(Action(Cmd::AppAbout), &QAction::triggered, this, [this] {
        CVessiloAboutDlg about(this);
        about.exec();
    });

    m_doc->SetDialogParent(this);
    connect(m_doc, &CVessiloDoc::stateChanged, this, &CMainFrame::UpdateCaption);
    UpdateCaption();
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::AppTitle() {
    return u"Zelvor管理 CSSメーカー"_qs;
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key) {
    auto* action = menu->addAction(text);
    action->setShortcut(key);
    action->setData(id);
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::UpdateCaption() {
    setWindowTitle(AppTitle() + u" - "_qs + m_doc->Title());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_doc->SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vessilo
