#include "admanager/shell/MainFrame.h"

#include "admanager/CommandIds.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/DataCtrlView.h"
#include "admanager/panes/RightView.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>
#include <QUrl>

// Icons live in a static library; make sure its resources are registered.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace {

const QString kReady = u"ﾚﾃﾞｨ"_qs;

QIcon ToolIcon(const char* name) { return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg")); }

} // namespace

CMainFrame::CMainFrame(CAfManagerDoc& doc, const WindowGeometry& geometry, QWidget* parent)
    : QMainWindow(parent), m_doc(doc) {
    InitIconResources();
    setObjectName(u"ZovaAffiliateManager"_qs);
    setWindowIcon(QIcon(u":/icons/zova_af.svg"_qs));
    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildPanes(geometry);
    ApplyPlacement(geometry);
    m_doc.SetDialogParent(this);
    connect(&m_doc, &CAfManagerDoc::stateChanged, this, [this] {
        UpdateCaption();
        UpdateCommandUI();
    });
    connect(&m_doc.History(), &QUndoStack::indexChanged, this, &CMainFrame::UpdateCommandUI);
    connect(&m_doc, &CAfManagerDoc::statusMessage, this, [this](const QString& text) {
        statusBar()->showMessage(text, 10000);
    });
    UpdateCaption();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() { m_doc.SetDialogParent(nullptr); }

QAction* CMainFrame::MakeAction(int id, const QString& text, const QString& prompt, const char* icon) {
    auto* action = new QAction(text, this);
    action->setObjectName(QStringLiteral("action%1").arg(id));
    action->setData(id);
    // Prompt for the status bar and tooltip, as "prompt\ntooltip".
    const QStringList parts = prompt.split(QLatin1Char('\n'));
    if (!prompt.isEmpty()) {
        action->setStatusTip(parts.value(0));
        action->setToolTip(parts.value(1, parts.value(0)));
    }
    if (icon)
        action->setIcon(ToolIcon(icon));
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::BuildActions() {
    struct Def {
        int id;
        QString text;
        QString prompt;
        const char* icon;
        QKeySequence key;
    };
    const Def defs[] = {
        {Cmd::FileNew, u"新規ファイルを作成(&N)\tCtrl+N"_qs, u"新規にファイルを作成します。\n新規作成"_qs, "file_new",
         QKeySequence(u"Ctrl+N"_qs)},
        {Cmd::FileOpen, u"ファイルを開く(&O)\tCtrl+O"_qs, u"既存のファイルを開きます。\n開く"_qs, "file_open",
         QKeySequence(u"Ctrl+O"_qs)},
        {Cmd::FileSave, u"上書き保存(&S)\tCtrl+S"_qs, u"ファイルを上書き保存します。\n上書き保存"_qs, "file_save",
         QKeySequence(u"Ctrl+S"_qs)},
        {Cmd::FileSaveAs, u"名前を付けて保存(&A)"_qs, u"ファイルに名前を付けて保存します。\n名前を付けて保存"_qs, nullptr, {}},
        {Cmd::AppExit, u"アプリケーションの終了(&X)"_qs, u"アプリケーションを終了します。\n終了"_qs, nullptr, {}},
        {Cmd::Undo, u"元に戻す(&U)"_qs, u"直前の操作を元に戻します。\n元に戻す"_qs, "undo", {}},
        {Cmd::Redo, u"やり直し(&R)"_qs, u"元に戻した操作をやり直します。\nやり直し"_qs, "redo", {}},
        {Cmd::NewFolder, u"サブフォルダの作成(&F)"_qs,
         u"現在のフォルダの下にサブフォルダを作成します。\nサブフォルダの作成"_qs, "new_folder", {}},
        {Cmd::NewItem, u"広告項目の作成(&N)"_qs, u"広告項目を作成します。\n広告項目の作成"_qs, "new_item", {}},
        {Cmd::CopyItem, u"広告項目のコピー(&C)"_qs, u"現在選択されている広告項目をコピーします。\n広告項目のコピー"_qs,
         "copy_item", {}},
        {Cmd::PasteItem, u"広告項目の貼り付け(&P)"_qs, u"コピーした広告項目を貼り付けます。\n広告項目の貼り付け"_qs,
         "paste_item", {}},
        {Cmd::DeleteNode, u"項目の削除(&D)"_qs, u"選択された項目を削除します。\n項目の削除"_qs, "delete_node", {}},
        {Cmd::AddBanner, u"バナーの追加（&B）"_qs, u"バナーを追加します。\nバナーの追加"_qs, "add_banner", {}},
        {Cmd::CopyBanner, u"バナーのコピー(&S)"_qs, u"現在選択されているバナーをコピーします。\nバナーのコピー"_qs,
         "copy_banner", {}},
        {Cmd::PasteBanner, u"バナーの貼り付け(&A)"_qs, u"バナーを貼り付けます。\nバナーの貼り付け"_qs, "paste_banner", {}},
        {Cmd::DeleteBanner, u"バナーの削除（&E）"_qs, u"現在選択されているバナーを削除します。\nバナーの削除"_qs,
         "delete_banner", {}},
        {Cmd::ViewToolbar, u"ツールバー(&T)"_qs, u"ツールバーの表示/非表示を切り替えます。\nツールバーの表示切り替え"_qs,
         nullptr, {}},
        {Cmd::ViewStatusBar, u"ステータスバー(&S)"_qs,
         u"ステータスバーの表示/非表示を切り替えます。\nステータスバーの表示切り替え"_qs, nullptr, {}},
        {Cmd::LinkHome, u"Zelvor Project ホームページ"_qs, u"Zelvor Project のホームページを開きます。"_qs, nullptr, {}},
        {Cmd::LinkAspGuide, u"アフィリエイトプロバイダ解説"_qs, u"アフィリエイトプロバイダの解説ページを開きます。"_qs,
         nullptr, {}},
        {Cmd::LoginTool, u"ログインツールを開く(&L)..."_qs, u"ログインツールを起動します。"_qs, nullptr, {}},
        {Cmd::CssMaker, u"CSSメーカーを開く(&C)"_qs, u"CSSメーカーを起動します。"_qs, nullptr, {}},
        {Cmd::TagCheck, u"タグの確認(&K)..."_qs, u"ライブラリのすべてのバナーのタグを確認します。"_qs, nullptr, {}},
        {Cmd::LinkCheck, u"リンクの確認(&R)..."_qs,
         u"選択したフォルダや広告項目のバナーのリンクと画像を、インターネットに接続して確認します。"_qs, nullptr, {}},
        {Cmd::PublishAll, u"まとめてアップロード(&U)..."_qs,
         u"出力先のある広告項目をまとめてHTML出力し、変更されたファイルをアップロードします。\nまとめてアップロード"_qs,
         "publish", {}},
        {Cmd::AppSettings, u"動作設定(&S)..."_qs, u"アプリケーションの動作を設定します。"_qs, nullptr, {}},
        {Cmd::AspSettings, u"ASP設定(&A)..."_qs, u"ASPのアカウントを設定します。"_qs, nullptr, {}},
        {Cmd::FtpSettings, u"FTPホスト設定(&F)..."_qs, u"FTPホストを設定します。"_qs, nullptr, {}},
        {Cmd::Help, u"ヘルプファイルを開く(&H)..."_qs, u"ヘルプファイルを開きます。\nヘルプ"_qs, "help", {}},
        {Cmd::About, u"バージョン情報(&A)..."_qs, u"プログラム情報、バージョン、著作権を表示します。\nバージョン情報"_qs,
         "about", {}},
    };
    for (const Def& d : defs) {
        QAction* a = MakeAction(d.id, d.text.section(QLatin1Char('\t'), 0, 0), d.prompt, d.icon);
        if (!d.key.isEmpty())
            a->setShortcut(d.key);
        connect(a, &QAction::triggered, this, [this, id = d.id] { RunHandler(id); });
    }
    // The edit keys have no menu entry: they reach the edit box that has the focus.
    // Edit boxes take their standard keys first; these catch the rest (Alt+Backspace).
    const std::pair<int, QList<QKeySequence>> editKeys[] = {
        {Cmd::EditCopy, {QKeySequence(u"Ctrl+C"_qs), QKeySequence(u"Ctrl+Ins"_qs)}},
        {Cmd::EditCut, {QKeySequence(u"Ctrl+X"_qs), QKeySequence(u"Shift+Del"_qs)}},
        {Cmd::EditPaste, {QKeySequence(u"Ctrl+V"_qs), QKeySequence(u"Shift+Ins"_qs)}},
        {Cmd::EditUndo, {QKeySequence(u"Ctrl+Z"_qs), QKeySequence(u"Alt+Backspace"_qs)}},
        {Cmd::EditRedo, {QKeySequence(u"Ctrl+Y"_qs), QKeySequence(u"Ctrl+Shift+Z"_qs)}},
        {Cmd::SelectAll, {QKeySequence(u"Ctrl+A"_qs)}},
    };
    for (const auto& [id, keys] : editKeys) {
        QAction* a = MakeAction(id, QString(), QString());
        a->setShortcuts(keys);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, id = id] { RunHandler(id); });
    }
    // The history's menu entries show their keys; the keys themselves go through
    // EditUndo / EditRedo, so an edit box with the focus undoes its own text first.
    for (auto [id, keys] : {std::pair{Cmd::Undo, QList<QKeySequence>{QKeySequence(u"Ctrl+Z"_qs)}},
                            std::pair{Cmd::Redo, QList<QKeySequence>{QKeySequence(u"Ctrl+Y"_qs),
                                                                     QKeySequence(u"Ctrl+Shift+Z"_qs)}}}) {
        Action(id)->setShortcuts(keys);
        Action(id)->setShortcutContext(Qt::WidgetShortcut);
    }
    Action(Cmd::ViewToolbar)->setCheckable(true);
    Action(Cmd::ViewStatusBar)->setCheckable(true);

    // The banner popup writes two of its texts with ASCII parentheses.
    const std::pair<int, QString> bannerTexts[] = {{Cmd::AddBanner, u"バナーの追加(&B)"_qs},
                                                   {Cmd::CopyBanner, u"バナーのコピー(&S)"_qs},
                                                   {Cmd::PasteBanner, u"バナーの貼り付け(&A)"_qs},
                                                   {Cmd::DeleteBanner, u"バナーの削除(&E)"_qs}};
    for (const auto& [id, text] : bannerTexts) {
        auto* a = new QAction(text, this);
        a->setObjectName(QStringLiteral("bannerMenuAction%1").arg(id));
        a->setData(id);
        a->setStatusTip(Action(id)->statusTip());
        connect(a, &QAction::triggered, this, [this, id = id] { RunHandler(id); });
        m_bannerMenuActions.push_back(a);
    }
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(u"ファイル(&F)"_qs);
    for (int id : {Cmd::FileNew, Cmd::FileOpen, Cmd::FileSave, Cmd::FileSaveAs})
        file->addAction(Action(id));
    file->addSeparator();
    file->addAction(Action(Cmd::AppExit));

    QMenu* edit = menuBar()->addMenu(u"編集(&E)"_qs);
    edit->addAction(Action(Cmd::Undo));
    edit->addAction(Action(Cmd::Redo));
    edit->addSeparator();
    for (int id : {Cmd::NewFolder, Cmd::NewItem, Cmd::CopyItem, Cmd::PasteItem, Cmd::DeleteNode})
        edit->addAction(Action(id));
    edit->addSeparator();
    for (int id : {Cmd::AddBanner, Cmd::CopyBanner, Cmd::PasteBanner, Cmd::DeleteBanner})
        edit->addAction(Action(id));

    QMenu* view = menuBar()->addMenu(u"表示(&V)"_qs);
    view->addAction(Action(Cmd::ViewToolbar));
    view->addAction(Action(Cmd::ViewStatusBar));

    m_linkMenu = menuBar()->addMenu(u"リンク(&L)"_qs);
    m_linkMenu->setObjectName(u"linkMenu"_qs);
    m_linkMenu->addAction(Action(Cmd::LinkHome));
    m_linkMenu->addAction(Action(Cmd::LinkAspGuide));
    m_linkMenu->addSeparator();
    connect(m_linkMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildLinkMenu);
    RebuildLinkMenu();

    QMenu* tools = menuBar()->addMenu(u"ツール(&T)"_qs);
    tools->addAction(Action(Cmd::LoginTool));
    tools->addAction(Action(Cmd::CssMaker));
    tools->addSeparator();
    tools->addAction(Action(Cmd::TagCheck));
    tools->addAction(Action(Cmd::LinkCheck));
    tools->addAction(Action(Cmd::PublishAll));
    tools->addSeparator();
    for (int id : {Cmd::AppSettings, Cmd::AspSettings, Cmd::FtpSettings})
        tools->addAction(Action(id));

    QMenu* help = menuBar()->addMenu(u"ヘルプ(&H)"_qs);
    help->addAction(Action(Cmd::Help));
    help->addSeparator();
    help->addAction(Action(Cmd::About));

    for (QMenu* menu : {file, edit, view, m_linkMenu, tools, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    m_nodeMenu = new QMenu(this);
    m_nodeMenu->setObjectName(u"AdvOpe1"_qs);
    for (int id : {Cmd::NewFolder, Cmd::NewItem, Cmd::CopyItem, Cmd::PasteItem, Cmd::DeleteNode})
        m_nodeMenu->addAction(Action(id));
    m_bannerMenu = new QMenu(this);
    m_bannerMenu->setObjectName(u"AdvOpe2"_qs);
    for (QAction* a : m_bannerMenuActions)
        m_bannerMenu->addAction(a);
    m_bannerMenu->addSeparator();
    m_bannerMenu->addAction(Action(Cmd::LinkCheck));
    for (QMenu* menu : {m_nodeMenu, m_bannerMenu})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::BuildToolBar() {
    m_toolBar = addToolBar(u"ツールバー"_qs);
    m_toolBar->setObjectName(u"mainToolBar"_qs);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setMovable(true);
    const int layout[] = {Cmd::FileNew,   Cmd::FileOpen,   Cmd::FileSave,    0,
                          Cmd::Undo,      Cmd::Redo,       0,
                          Cmd::NewFolder, Cmd::NewItem,    Cmd::CopyItem,    Cmd::PasteItem,    Cmd::DeleteNode, 0,
                          Cmd::AddBanner, Cmd::CopyBanner, Cmd::PasteBanner, Cmd::DeleteBanner, 0,
                          Cmd::PublishAll, 0,
                          Cmd::Help,      Cmd::About};
    for (int id : layout) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(Action(id));
    }
    QAction* toggle = Action(Cmd::ViewToolbar);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(u"mainStatusBar"_qs);
    for (const QString& text : {u"ｶﾅ"_qs, u"CAP"_qs, u"NUM"_qs, u"SCRL"_qs}) {
        auto* label = new QLabel(text, bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(u"SCRL"_qs) + 10);
        label->setEnabled(false); // the key states are not readable here; shown as the original's idle look
        bar->addPermanentWidget(label);
    }
    connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& message) {
        if (message.isEmpty())
            bar->showMessage(kReady);
    });
    bar->showMessage(kReady);
    QAction* toggle = Action(Cmd::ViewStatusBar);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::BuildPanes(const WindowGeometry& g) {
    m_outer = new QSplitter(Qt::Horizontal, this);
    m_outer->setObjectName(u"outerSplitter"_qs);
    m_outer->setChildrenCollapsible(false);
    m_left = new CLeftView(m_doc, m_outer);
    m_inner = new QSplitter(Qt::Vertical, m_outer);
    m_inner->setObjectName(u"innerSplitter"_qs);
    m_inner->setChildrenCollapsible(false);
    m_right = new CRightView(m_doc, m_inner);
    m_editor = new CDataCtrlView(m_doc, m_inner);
    m_outer->addWidget(m_left);
    m_outer->addWidget(m_inner);
    m_outer->setStretchFactor(1, 1);
    m_inner->setStretchFactor(1, 1);
    setCentralWidget(m_outer);
    m_columns = {g.leftWidth > 0 ? g.leftWidth : 240, g.rightWidth > 0 ? g.rightWidth : 400};
    m_rows = {g.topHeight > 0 ? g.topHeight : 240, g.bottomHeight > 0 ? g.bottomHeight : 240};
    m_outer->setSizes(m_columns);
    m_inner->setSizes(m_rows);
    m_left->SetContextMenu(m_nodeMenu);
    m_right->SetContextMenu(m_bannerMenu);
}

void CMainFrame::ApplyPlacement(const WindowGeometry& g) {
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (g.x >= 0 && g.y >= 0 && g.width > 0 && g.height > 0 && g.x + g.width <= area.width() &&
        g.y + g.height <= area.height()) {
        move(g.x, g.y);
        resize(g.width, g.height);
    } else {
        // What the system would choose: a comfortable size in the middle of the screen.
        QSize size(std::min(1000, area.width() * 4 / 5), std::min(700, area.height() * 4 / 5));
        resize(size);
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    m_normalGeometry = QRect(pos(), size());
}

void CMainFrame::RunHandler(int id) {
    switch (id) {
    case Cmd::FileNew: return m_doc.OnFileNew();
    case Cmd::FileOpen: return m_doc.OnFileOpen();
    case Cmd::FileSave: m_doc.OnFileSave(); return;
    case Cmd::FileSaveAs: m_doc.OnFileSaveAs(); return;
    case Cmd::AppExit: close(); return;
    case Cmd::NewFolder: return m_doc.OnNewFolder();
    case Cmd::NewItem: return m_doc.OnNewItem();
    case Cmd::CopyItem: return m_doc.OnCopyItem();
    case Cmd::PasteItem: return m_doc.OnPasteItem();
    case Cmd::DeleteNode: return m_doc.OnDeleteNode();
    case Cmd::AddBanner: return m_doc.OnAddBanner();
    case Cmd::CopyBanner: return m_doc.OnCopyBanner();
    case Cmd::PasteBanner: return m_doc.OnPasteBanner();
    case Cmd::DeleteBanner: return m_doc.OnDeleteBanner();
    case Cmd::EditCopy:
    case Cmd::EditCut:
    case Cmd::EditPaste:
    case Cmd::EditUndo:
    case Cmd::EditRedo:
    case Cmd::SelectAll: return m_doc.OnEditCommand(id);
    case Cmd::Undo: return m_doc.Undo();
    case Cmd::Redo: return m_doc.Redo();
    case Cmd::ViewToolbar:
    case Cmd::ViewStatusBar: return; // toggled through the actions' signals
    default: break;
    }
    auto it = m_handlers.find(id);
    if (it != m_handlers.end() && it->second)
        it->second();
}

void CMainFrame::SetCommandHandler(int id, std::function<void()> handler) { m_handlers[id] = std::move(handler); }

void CMainFrame::UpdateCommandUI() {
    // The history's entries name the step they would undo or redo.
    const QUndoStack& history = m_doc.History();
    const std::pair<int, QString> steps[] = {{Cmd::Undo, history.undoText()}, {Cmd::Redo, history.redoText()}};
    for (const auto& [id, step] : steps) {
        QAction* a = Action(id);
        const QString base = id == Cmd::Undo ? u"元に戻す"_qs : u"やり直し"_qs;
        const QString mnemonic = id == Cmd::Undo ? u"(&U)"_qs : u"(&R)"_qs;
        const QString named = step.isEmpty() ? base : base + u" - "_qs + step;
        a->setText(named + mnemonic);
        a->setToolTip(named);
        a->setEnabled(id == Cmd::Undo ? history.canUndo() : history.canRedo());
    }
    for (int id : {Cmd::NewFolder, Cmd::NewItem, Cmd::CopyItem, Cmd::PasteItem, Cmd::DeleteNode, Cmd::AddBanner,
                   Cmd::CopyBanner, Cmd::PasteBanner, Cmd::DeleteBanner, Cmd::LinkCheck})
        Action(id)->setEnabled(m_doc.IsCommandEnabled(id));
    for (QAction* a : m_bannerMenuActions)
        a->setEnabled(m_doc.IsCommandEnabled(a->data().toInt()));
}

QString CMainFrame::LinkPrompt(int id) const {
    if (m_shownLinks.empty())
        return u"リンクがありません。"_qs;
    std::size_t index = static_cast<std::size_t>(id - Cmd::LinkFirst);
    if (id < Cmd::LinkFirst || index >= m_shownLinks.size())
        return {};
    const QString& url = m_shownLinks[index].url;
    return url.isEmpty() ? u"リンク先が設定されていません。"_qs : url;
}

void CMainFrame::RebuildLinkMenu() {
    // Drop the entries of the previous opening: everything after the separator.
    const QList<QAction*> actions = m_linkMenu->actions();
    bool afterSeparator = false;
    for (QAction* a : actions) {
        if (afterSeparator) {
            m_linkMenu->removeAction(a);
            a->deleteLater();
        } else if (a->isSeparator()) {
            afterSeparator = true;
        }
    }
    m_shownLinks = m_links ? m_links() : std::vector<LinkEntry>{};
    if (m_shownLinks.empty()) {
        QAction* none = m_linkMenu->addAction(u"なし"_qs);
        none->setObjectName(QStringLiteral("action%1").arg(Cmd::LinkFirst));
        none->setData(Cmd::LinkFirst);
        none->setEnabled(false);
        none->setStatusTip(LinkPrompt(Cmd::LinkFirst));
        return;
    }
    for (std::size_t i = 0; i < m_shownLinks.size() && Cmd::LinkFirst + static_cast<int>(i) <= Cmd::LinkLast; ++i) {
        int id = Cmd::LinkFirst + static_cast<int>(i);
        QAction* a = m_linkMenu->addAction(m_shownLinks[i].name);
        a->setObjectName(QStringLiteral("action%1").arg(id));
        a->setData(id);
        a->setEnabled(!m_shownLinks[i].url.isEmpty());
        a->setStatusTip(LinkPrompt(id));
        connect(a, &QAction::triggered, this, [this, url = m_shownLinks[i].url] {
            // An address without a scheme ("www.example.jp") is a web address, as in the ASP dialog.
            if (!url.isEmpty() && m_openUrl)
                m_openUrl(QUrl::fromUserInput(url).toString());
        });
    }
}

void CMainFrame::UpdateCaption() { setWindowTitle(u"Zelvor管理 - "_qs + m_doc.Title()); }

WindowGeometry CMainFrame::CurrentGeometry() const {
    WindowGeometry g;
    g.x = m_normalGeometry.x();
    g.y = m_normalGeometry.y();
    g.width = m_normalGeometry.width();
    g.height = m_normalGeometry.height();
    const QList<int> columns = m_outer->sizes();
    const QList<int> rows = m_inner->sizes();
    g.leftWidth = columns.value(0);
    g.rightWidth = columns.value(1);
    g.topHeight = rows.value(0);
    g.bottomHeight = rows.value(1);
    return g;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_doc.SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

// A splitter scales sizes given before it has a size of its own: apply them
// again once the window is laid out.
void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_outer->setSizes(m_columns);
        m_inner->setSizes(m_rows);
    }
}

// The restored rectangle is tracked while the window is in its normal state, so
// a maximised window still stores where it will come back to.
void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (windowState() == Qt::WindowNoState)
        m_normalGeometry.moveTopLeft(pos());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowState() == Qt::WindowNoState)
        m_normalGeometry.setSize(size());
}
