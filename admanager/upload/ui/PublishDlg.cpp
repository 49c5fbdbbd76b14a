#include "admanager/upload/ui/PublishDlg.h"

#include "admanager/library/LibraryNode.h"
#include "admanager/upload/ui/TrustPrompt.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

namespace {

enum Column { kItem, kOutput, kHost, kState };

QString StateText(const PublishItem& item) {
    switch (item.state) {
    case PublishItem::State::LocalOnly:
        return item.uploadProblem.empty() ? u"ローカルのみ"_qs : QString::fromStdString(item.uploadProblem);
    case PublishItem::State::New:
        return item.uploadProblem.empty() ? u"未アップロード"_qs : QString::fromStdString(item.uploadProblem);
    case PublishItem::State::Changed:
        return u"変更あり"_qs;
    case PublishItem::State::Unchanged:
        return u"変更なし"_qs;
    case PublishItem::State::Problem:
        return u"エラー: "_qs + QString::fromStdString(item.problem);
    }
    return {};
}

QString OutcomeText(const PublishItemOutcome& o) {
    switch (o.result) {
    case PublishItemOutcome::Result::Published:
        return u"完了"_qs;
    case PublishItemOutcome::Result::Unchanged:
        return u"変更なし"_qs;
    case PublishItemOutcome::Result::Stopped:
        return u"停止"_qs;
    case PublishItemOutcome::Result::Failed:
        break;
    }
    return u"失敗: "_qs + QString::fromStdString(o.message);
}

} // namespace

CPublishDlg::CPublishDlg(const AdLibrary& library, std::string libraryPath, FtpHostList& hosts,
                         std::string settingsDir, const AppSettings& settings, QWidget* parent)
    : QDialog(parent), m_library(library), m_settings(settings), m_libraryPath(std::move(libraryPath)), m_hosts(hosts),
      m_settingsDir(std::move(settingsDir)) {
    setWindowTitle(u"Zelvor管理 - まとめてアップロード"_qs);
    setObjectName(u"PublishDlg"_qs);
    resize(760, 560);
    m_recordPath = AppPaths::StateDir() + PublishRecord::kFileName;

    auto* top = new QVBoxLayout(this);
    m_intro = new QLabel(u"出力先が設定された広告項目です。チェックした項目をHTML出力し、FTPの設定がある項目は"
                             u"変更されたファイルをアップロードします。"_qs,
                             this);
    m_intro->setWordWrap(true);
    top->addWidget(m_intro);

    m_list = new QTreeWidget(this);
    m_list->setAccessibleName(u"広告項目一覧"_qs);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({u"広告項目"_qs, u"出力先"_qs, u"FTPホスト"_qs, u"状態"_qs});
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(kItem, 200);
    m_list->setColumnWidth(kHost, 110);
    // The whole path: where a block is written must never be a guess.
    m_list->header()->setSectionResizeMode(kOutput, QHeaderView::ResizeToContents);
    m_list->setTextElideMode(Qt::ElideNone);
    top->addWidget(m_list, 3);

    auto* selectRow = new QHBoxLayout;
    m_selectAll = new QPushButton(u"すべて選択"_qs, this);
    m_selectNone = new QPushButton(u"すべて解除"_qs, this);
    m_allFiles = new QCheckBox(u"変更のないファイルも送信する"_qs, this);
    selectRow->addWidget(m_selectAll);
    selectRow->addWidget(m_selectNone);
    selectRow->addStretch();
    selectRow->addWidget(m_allFiles);
    top->addLayout(selectRow);

    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(u"進行状況"_qs);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    top->addWidget(m_progress);
    m_log = new QListWidget(this);
    m_log->setAccessibleName(u"ログ"_qs);
    top->addWidget(m_log, 2);
    m_summary = new QLabel(this);
    top->addWidget(m_summary);

    auto* buttons = new QHBoxLayout;
    m_start = new QPushButton(u"開始"_qs, this);
    m_stop = new QPushButton(u"停止"_qs, this);
    m_close = new QPushButton(u"閉じる"_qs, this);
    for (QPushButton* b : {m_selectAll, m_selectNone, m_start, m_stop, m_close})
        b->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_close);
    top->addLayout(buttons);

    connect(m_selectAll, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < m_list->topLevelItemCount(); ++i)
            if (m_list->topLevelItem(i)->flags() & Qt::ItemIsUserCheckable)
                m_list->topLevelItem(i)->setCheckState(kItem, Qt::Checked);
    });
    connect(m_selectNone, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < m_list->topLevelItemCount(); ++i)
            m_list->topLevelItem(i)->setCheckState(kItem, Qt::Unchecked);
    });
    connect(m_list, &QTreeWidget::itemChanged, this, &CPublishDlg::UpdateStartEnabled);
    connect(m_start, &QPushButton::clicked, this, &CPublishDlg::OnStart);
    connect(m_stop, &QPushButton::clicked, this, &CPublishDlg::OnStop);
    connect(m_close, &QPushButton::clicked, this, &CPublishDlg::reject);

    if (!m_record.Load(m_recordPath))
        AppendLog(u"アップロードの記録を読み込めませんでした。すべてのファイルを変更ありとして扱います。"_qs);
    Plan();
    FillRows();
    SetRunning(false);
}

CPublishDlg::~CPublishDlg() {
    if (m_run)
        m_run->RequestStop();
    if (m_worker.joinable())
        m_worker.join();
}

void CPublishDlg::Plan() {
    std::vector<std::pair<const LibraryNode*, std::string>> targets;
    CollectPublishable(m_library.root, targets);
    m_items.clear();
    for (auto& [node, label] : targets)
        m_items.push_back(PlanItem(*node, label, &m_hosts, m_record, &m_settings));
}

void CPublishDlg::FillRows() {
    QSignalBlocker block(m_list);
    m_list->clear();
    // An empty list says why rather than nothing.
    if (m_items.empty())
        m_intro->setText(u"出力先が設定された広告項目がありません。広告項目の「HTML生成...」で"
                         u"■HTML出力先■の「ローカル」を設定すると、ここに並びます。"_qs);
    for (const PublishItem& item : m_items) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(kItem, QString::fromStdString(item.label));
        row->setText(kOutput, QString::fromStdString(item.outputPath));
        row->setToolTip(kOutput, QString::fromStdString(item.outputPath));
        if (item.Uploads())
            row->setText(kHost, Cp932Qt::ToQt(m_hosts.entries[static_cast<std::size_t>(item.hostIndex)].name));
        else if (item.node->ftpUpload == 0)
            row->setText(kHost, u"（なし）"_qs);
        row->setText(kState, StateText(item));
        row->setToolTip(kState, row->text(kState));
        const bool usable = item.state != PublishItem::State::Problem;
        row->setFlags(usable ? (Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable)
                             : Qt::ItemIsSelectable);
        row->setCheckState(kItem, item.PreTicked() ? Qt::Checked : Qt::Unchecked);
    }
    UpdateStartEnabled();
}

void CPublishDlg::UpdateStartEnabled() {
    bool any = false;
    for (int i = 0; i < m_list->topLevelItemCount() && !any; ++i)
        any = m_list->topLevelItem(i)->checkState(kItem) == Qt::Checked;
    m_start->setEnabled(any && !m_busy.load());
}

void CPublishDlg::SetRunning(bool running) {
    m_list->setEnabled(!running);
    m_selectAll->setEnabled(!running);
    m_selectNone->setEnabled(!running);
    m_allFiles->setEnabled(!running);
    m_close->setEnabled(!running);
    m_stop->setEnabled(running);
    UpdateStartEnabled();
}

void CPublishDlg::OnStart() {
    Start(false);
}

void CPublishDlg::Start(bool again) {
    if (m_busy.load())
        return;
    if (m_worker.joinable())
        m_worker.join();
    std::vector<PublishItem> chosen;
    m_running.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->checkState(kItem) != Qt::Checked)
            continue;
        m_running.push_back(static_cast<std::size_t>(i));
        chosen.push_back(m_items[static_cast<std::size_t>(i)]);
    }
    if (chosen.empty())
        return;

    PublishOptions options;
    options.allFiles = m_allFiles->isChecked();
    options.knownHostsPath = KnownHostsPath();
    options.recordPath = m_recordPath;
    options.logSummary = false;
    std::set<int> asked;
    for (const PublishItem& item : chosen) {
        if (!item.Uploads() || !asked.insert(item.hostIndex).second)
            continue;
        std::string passphrase;
        if (!AskPassphrase(this, m_hosts.entries[static_cast<std::size_t>(item.hostIndex)], passphrase))
            return;
        options.passphrases[item.hostIndex] = passphrase;
    }

    // A run again after the user trusted a server goes on with the same log
    // and summary: every item is counted once, by how it ended.
    if (!again) {
        m_log->clear();
        m_outcomes.clear();
    }
    m_summary->clear();
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    for (std::size_t row : m_running)
        m_list->topLevelItem(static_cast<int>(row))->setText(kState, u"待機中"_qs);

    // The worker reaches the dialog only through queued calls; the destructor
    // waits for it.
    m_run = std::make_unique<PublishRun>(
        std::move(chosen), m_hosts, options,
        [this](const std::string& line) {
            QString text = QString::fromStdString(line);
            QMetaObject::invokeMethod(this, [this, text] { AppendLog(text); }, Qt::QueuedConnection);
        },
        [this](int done, int total) {
            QMetaObject::invokeMethod(
                this,
                [this, done, total] {
                    m_progress->setRange(0, std::max(total, 1));
                    m_progress->setValue(done);
                },
                Qt::QueuedConnection);
        },
        [this](std::size_t index, const PublishItemOutcome& outcome) {
            QMetaObject::invokeMethod(
                this, [this, index, outcome] { OnItemDone(index, outcome); }, Qt::QueuedConnection);
        });
    m_busy.store(true);
    SetRunning(true);
    PublishRun* run = m_run.get();
    m_worker = std::thread([this, run] {
        run->Run();
        QMetaObject::invokeMethod(this, [this] { OnWorkerEnded(); }, Qt::QueuedConnection);
    });
}

void CPublishDlg::OnStop() {
    if (m_run && m_busy.load())
        m_run->RequestStop();
}

void CPublishDlg::OnItemDone(std::size_t index, PublishItemOutcome outcome) {
    if (index >= m_running.size())
        return;
    QTreeWidgetItem* row = m_list->topLevelItem(static_cast<int>(m_running[index]));
    m_outcomes[m_running[index]] = outcome;
    row->setText(kState, OutcomeText(outcome));
    row->setToolTip(kState, row->text(kState));
    if (outcome.result == PublishItemOutcome::Result::Published ||
        outcome.result == PublishItemOutcome::Result::Unchanged)
        row->setCheckState(kItem, Qt::Unchecked);
}

void CPublishDlg::OnWorkerEnded() {
    if (m_worker.joinable())
        m_worker.join();
    std::vector<PublishItemOutcome> outcomes;
    std::vector<std::string> labels;
    for (const auto& [row, outcome] : m_outcomes) {
        outcomes.push_back(outcome);
        labels.push_back(m_items[row].label);
    }
    const std::vector<std::string> summary = PublishSummary(outcomes, labels);
    m_summary->setText(QString::fromStdString(summary.front()));
    // Every item counted once, across a run again after a trust question.
    for (const std::string& line : summary)
        AppendLog(QString::fromStdString(line));
    m_busy.store(false);
    SetRunning(false);

    // Servers we could not vouch for: the user decides, and the items of the
    // hosts now trusted go again at once.
    std::set<int> trusted;
    for (const auto& [hostIndex, peer] : m_run->Untrusted()) {
        FtpHostEntry& host = m_hosts.entries[static_cast<std::size_t>(hostIndex)];
        if (AskToTrust(this, host, peer, KnownHostsPath()))
            trusted.insert(hostIndex);
    }
    const std::vector<std::size_t> rows = m_running;
    const std::vector<PublishItem> ran = m_run->Items();
    Q_EMIT publishFinished();
    if (trusted.empty())
        return;
    if (!SaveFtpHostList(m_hosts, m_settingsDir))
        Prompter::Current().Message(this, u"FTPホストリストの保存に失敗しました。"_qs, Prompter::Icon::Stop);
    QSignalBlocker block(m_list);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        m_list->topLevelItem(i)->setCheckState(kItem, Qt::Unchecked);
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (trusted.count(ran[k].hostIndex))
            m_list->topLevelItem(static_cast<int>(rows[k]))->setCheckState(kItem, Qt::Checked);
    Start(true);
}

void CPublishDlg::AppendLog(const QString& line) {
    m_log->addItem(line);
    m_log->scrollToBottom();
}

void CPublishDlg::reject() {
    if (m_busy.load())
        return;
    QDialog::reject();
}

void CPublishDlg::closeEvent(QCloseEvent* event) {
    if (m_busy.load())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
