#include "admanager/htmlgen/ui/TagCheckDlg.h"

#include "admanager/htmlgen/TagCheck.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "ui_TagCheckDlg.h"

#include <QDir>
#include <QHeaderView>
#include <QSaveFile>
#include <QStyle>
#include <algorithm>

namespace {

const QString kColumns[] = {u"広告項目"_qs, u"No."_qs, u"広告名"_qs, u"種類"_qs, u"内容"_qs, u"詳細"_qs, u"結果"_qs};

// The filter's entries, each with the least severity it shows.
const std::pair<QString, TagSeverity> kFilters[] = {{u"すべて"_qs, TagSeverity::Info},
                                                    {u"エラーと警告"_qs, TagSeverity::Warning},
                                                    {u"エラーのみ"_qs, TagSeverity::Error}};

} // namespace

QStyle::StandardPixmap TagSeverityIcon(TagSeverity severity) {
    switch (severity) {
    case TagSeverity::Error:
        return QStyle::SP_MessageBoxCritical;
    case TagSeverity::Warning:
        return QStyle::SP_MessageBoxWarning;
    case TagSeverity::Info:
        break;
    }
    return QStyle::SP_MessageBoxInformation;
}

CTagCheckDlg::CTagCheckDlg(const LibraryNode& root, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TagCheckDlg>()) {
    SetUp();
    Fill(CheckLibraryTags(root));
}

CTagCheckDlg::CTagCheckDlg(LinkCheck check, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TagCheckDlg>()), m_online(true), m_link(std::move(check)) {
    SetUp();
    setWindowTitle(u"Zelvor管理 - リンクの確認"_qs);
    m_ui->summaryLabel->setText(u"リンクと画像を確認します…"_qs);
}

CTagCheckDlg::~CTagCheckDlg() {
    StopLinkCheck();
}

void CTagCheckDlg::SetUp() {
    m_ui->setupUi(this);
    QTableWidget* table = m_ui->findingsTableWidget;
    table->setAccessibleName(u"確認結果"_qs);
    const int columns = m_online ? 7 : 6;
    table->setColumnCount(columns);
    for (int c = 0; c < columns; ++c)
        table->setHorizontalHeaderItem(c, new QTableWidgetItem(kColumns[c]));
    table->verticalHeader()->hide();
    // Widths for rows that come in while a check runs; a finished list fits its columns.
    const int widths[] = {150, 40, 140, 80, 180, 0, 120};
    for (int col = 0; col < columns; ++col)
        if (col != 5)
            table->setColumnWidth(col, widths[col]);
    // 詳細 takes the rest of the (resizable) window, never behind a sideways
    // scroll; a text longer than its cell ends in "…" and shows whole as its tooltip.
    table->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setTextElideMode(Qt::ElideMiddle);
    resize(std::max(width(), 960), height());
    setSizeGripEnabled(true);
    // Double-click or Enter on a finding: the report closes on its banner.
    connect(table, &QTableWidget::cellActivated, this, [this](int row, int) {
        if (row < 0 || row >= static_cast<int>(m_rows.size()))
            return;
        m_chosen = m_rows[static_cast<std::size_t>(row)];
        accept();
    });

    for (const auto& [text, severity] : kFilters)
        m_ui->severityComboBox->addItem(text);
    m_ui->severityComboBox->setAccessibleName(u"表示"_qs);
    connect(m_ui->severityComboBox, &QComboBox::currentIndexChanged, this, &CTagCheckDlg::ApplyFilter);
    m_ui->progressBar->setAccessibleName(u"進行状況"_qs);
    m_ui->progressBar->setVisible(m_online);
    m_ui->progressBar->setMinimumWidth(240);
    m_ui->refreshPushButton->setVisible(m_online);
    m_ui->stopPushButton->setVisible(m_online);
    m_ui->stopPushButton->setEnabled(false);
    m_ui->csvPushButton->setEnabled(false);
    m_ui->refreshPushButton->setToolTip(u"1時間以内の結果も使わずに、すべてのアドレスをもう一度確認します。"_qs);
    connect(m_ui->csvPushButton, &QPushButton::clicked, this, &CTagCheckDlg::SaveCsv);
    connect(m_ui->stopPushButton, &QPushButton::clicked, this, [this] {
        m_stop = true;
        m_ui->stopPushButton->setEnabled(false);
        m_ui->summaryLabel->setText(u"中止しています…"_qs);
    });
    connect(m_ui->refreshPushButton, &QPushButton::clicked, this, [this] { StartLinkCheck(true); });
}

void CTagCheckDlg::AddRows(const BannerCheck& c, const std::vector<TagFinding>& findings) {
    QTableWidget* table = m_ui->findingsTableWidget;
    for (const TagFinding& f : findings) {
        const int row = table->rowCount();
        table->insertRow(row);
        QString result = QString::fromStdString(f.note);
        if (IsOnlineProblem(f.problem) && !f.finalUrl.empty() && f.finalUrl != f.detail &&
            f.problem != TagProblem::RedirectElsewhere)
            result += (result.isEmpty() ? u""_qs : u"  "_qs) + u"→ "_qs + QString::fromStdString(f.finalUrl);
        const QString texts[] = {Cp932Qt::ToQt(c.itemPath),
                                 QString::number(c.index + 1),
                                 Cp932Qt::ToQt(c.banner->name),
                                 QString::fromUtf8(TagSeverityText(f.severity)),
                                 QString::fromUtf8(TagProblemText(f.problem)),
                                 QString::fromStdString(f.detail),
                                 result};
        for (int col = 0; col < table->columnCount(); ++col) {
            auto* item = new QTableWidgetItem(texts[col]);
            item->setToolTip(texts[col]);
            table->setItem(row, col, item);
        }
        table->item(row, 3)->setIcon(style()->standardIcon(TagSeverityIcon(f.severity)));
        table->setRowHidden(row, f.severity < MinimumShown());
        m_rows.push_back({c.item, c.banner});
        m_rowSeverity.push_back(f.severity);
    }
}

void CTagCheckDlg::Fill(std::vector<BannerCheck> checks) {
    m_checks = std::move(checks);
    QTableWidget* table = m_ui->findingsTableWidget;
    table->setRowCount(0);
    m_rows.clear();
    m_rowSeverity.clear();
    int counts[3] = {0, 0, 0};
    int banners = 0;
    for (const BannerCheck& c : m_checks) {
        if (!c.findings.empty())
            ++banners;
        for (const TagFinding& f : c.findings)
            ++counts[static_cast<int>(f.severity)];
        AddRows(c, c.findings);
    }
    table->resizeColumnsToContents();
    const int widest[] = {200, 60, 160, 90, 300, 0, 220};
    for (int col = 0; col < table->columnCount(); ++col)
        if (col != 5)
            table->setColumnWidth(col, std::min(table->columnWidth(col), widest[col]));
    m_ui->csvPushButton->setEnabled(!m_rows.empty());
    ApplyFilter();

    const int errors = counts[static_cast<int>(TagSeverity::Error)];
    const int warnings = counts[static_cast<int>(TagSeverity::Warning)];
    const int infos = counts[static_cast<int>(TagSeverity::Info)];
    QString summary;
    if (m_checks.empty())
        summary = u"確認するバナーがありません。"_qs;
    else if (errors + warnings + infos == 0)
        summary = u"%1件のバナーを確認しました。問題は見つかりませんでした。"_qs.arg(m_checks.size());
    else if (!m_online)
        summary = u"%1件のバナーを確認しました。%2件のバナーにエラー %3件、警告 %4件があります。"_qs.arg(m_checks.size())
                      .arg(banners)
                      .arg(errors)
                      .arg(warnings);
    else
        summary = u"%1件のバナーを確認しました。%2件のバナーにエラー %3件、警告 %4件、情報 %5件があります。"_qs
                      .arg(m_checks.size())
                      .arg(banners)
                      .arg(errors)
                      .arg(warnings)
                      .arg(infos);
    m_ui->summaryLabel->setText(summary);
}

TagSeverity CTagCheckDlg::MinimumShown() const {
    const int index = std::clamp(m_ui->severityComboBox->currentIndex(), 0, static_cast<int>(std::size(kFilters)) - 1);
    return kFilters[index].second;
}

void CTagCheckDlg::ApplyFilter() {
    const TagSeverity minimum = MinimumShown();
    for (std::size_t row = 0; row < m_rowSeverity.size(); ++row)
        m_ui->findingsTableWidget->setRowHidden(static_cast<int>(row), m_rowSeverity[row] < minimum);
}

void CTagCheckDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_online && !m_started) {
        m_started = true;
        StartLinkCheck(m_link.setup.fresh);
    }
}

void CTagCheckDlg::StartLinkCheck(bool fresh) {
    if (Running() || !m_link.node)
        return;
    m_stop = false;
    m_ui->refreshPushButton->setEnabled(false);
    m_ui->stopPushButton->setEnabled(true);
    m_ui->csvPushButton->setEnabled(false);
    m_ui->progressBar->setRange(0, 0);
    m_ui->summaryLabel->setText(u"リンクと画像を確認しています…"_qs);
    m_ui->findingsTableWidget->setRowCount(0);
    m_rows.clear();
    m_rowSeverity.clear();

    // The banners are read here; the window is modal, so nothing changes them
    // while the worker fetches.
    std::vector<BannerCheck> banners = CheckNodeTags(*m_link.node, m_link.nodePath);
    WatchForAnswers(banners);
    LinkCheckSetup setup = m_link.setup;
    setup.fresh = fresh;
    m_worker = std::thread([this, banners = std::move(banners), setup]() mutable {
        auto answer = [this](const std::string& key, const UrlResult& result) {
            QMetaObject::invokeMethod(
                this, [this, key, result] { Answered(key, result); }, Qt::QueuedConnection);
        };
        auto progress = [this](std::size_t done, std::size_t total) {
            QMetaObject::invokeMethod(
                this,
                [this, done, total] {
                    m_ui->progressBar->setRange(0, static_cast<int>(total));
                    m_ui->progressBar->setValue(static_cast<int>(done));
                    if (!m_stop)
                        m_ui->summaryLabel->setText(
                            u"リンクと画像を確認しています… (%1 / %2 件のアドレス)"_qs.arg(done).arg(total));
                },
                Qt::QueuedConnection);
        };
        // Read by the UI thread after it joined this one.
        m_finished =
            std::make_shared<LinkCheckRun>(CheckLinksOnline(std::move(banners), setup, progress, &m_stop, answer));
        QMetaObject::invokeMethod(this, &CTagCheckDlg::LinkCheckFinished, Qt::QueuedConnection);
    });
}

std::shared_ptr<LinkCheckRun> CTagCheckDlg::TakeFinished() {
    if (m_worker.joinable())
        m_worker.join();
    std::shared_ptr<LinkCheckRun> run = std::move(m_finished);
    if (run)
        for (const auto& [key, result] : run->results)
            m_results[key] = result;
    return run;
}

void CTagCheckDlg::WatchForAnswers(const std::vector<BannerCheck>& banners) {
    m_waiting.clear();
    m_waitingFor.clear();
    m_answers.clear();
    for (const BannerCheck& check : banners) {
        Waiting w{check, UrlsOfTag(check.banner->tag), 0};
        const std::vector<std::string> keys = ResultKeysOf(w.urls);
        w.unanswered = keys.size();
        for (const std::string& key : keys)
            m_waitingFor[key].push_back(m_waiting.size());
        if (w.unanswered == 0)
            AddRows(w.check, w.check.findings);
        m_waiting.push_back(std::move(w));
    }
}

void CTagCheckDlg::Answered(const std::string& key, const UrlResult& result) {
    if (!Running())
        return; // the run's own list has replaced these rows
    m_answers[key] = result;
    auto it = m_waitingFor.find(key);
    if (it == m_waitingFor.end())
        return;
    for (std::size_t i : it->second) {
        Waiting& w = m_waiting[i];
        if (w.unanswered == 0 || --w.unanswered > 0)
            continue;
        std::vector<TagFinding> findings = w.check.findings;
        std::vector<TagFinding> online = LinkFindings(w.urls, m_answers);
        findings.insert(findings.end(), online.begin(), online.end());
        AddRows(w.check, findings);
    }
    m_waitingFor.erase(it);
}

void CTagCheckDlg::LinkCheckFinished() {
    std::shared_ptr<LinkCheckRun> run = TakeFinished();
    if (!run)
        return;
    const bool stopped = run->stopped;
    const std::size_t urls = run->urls;
    const std::size_t cached = run->fromCache;
    Fill(std::move(run->banners));
    QString more = u"(アドレス %1件"_qs.arg(urls);
    if (cached > 0)
        more += u"、うち %1件は1時間以内の結果"_qs.arg(cached);
    more += u")"_qs;
    m_ui->summaryLabel->setText((stopped ? u"中止しました。確認できたアドレスの分だけを表示します。"_qs : QString()) +
                                m_ui->summaryLabel->text() + more);
    m_ui->progressBar->setRange(0, std::max<int>(1, static_cast<int>(urls)));
    if (!stopped)
        m_ui->progressBar->setValue(m_ui->progressBar->maximum());
    m_ui->stopPushButton->setEnabled(false);
    m_ui->refreshPushButton->setEnabled(true);
}

void CTagCheckDlg::StopLinkCheck() {
    m_stop = true;
    TakeFinished();
}

void CTagCheckDlg::reject() {
    StopLinkCheck();
    QDialog::reject();
}

void CTagCheckDlg::done(int result) {
    StopLinkCheck();
    QDialog::done(result);
}

void CTagCheckDlg::SaveCsv() {
    Prompter::FileDialog dialog{u"csv"_qs, m_online ? u"リンクの確認.csv"_qs : u"タグの確認.csv"_qs,
                                u"CSVファイル(*.csv)"_qs, QDir::homePath()};
    const QString path = Prompter::Current().SaveFileName(this, dialog);
    if (path.isEmpty())
        return;
    const std::string csv = FindingsCsv(m_checks, MinimumShown());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), static_cast<qint64>(csv.size())) < 0 ||
        !file.commit()) {
        Prompter::Current().Message(this, u"CSVファイルを保存できませんでした。\n%1"_qs.arg(QDir::toNativeSeparators(path)),
                                    Prompter::Icon::Stop);
        return;
    }
}

QTableWidget* CTagCheckDlg::Findings() const {
    return m_ui->findingsTableWidget;
}
