#include "admanager/htmlgen/ui/TagCheckDlg.h"

#include "admanager/htmlgen/TagCheck.h"
#include "common/ui/Cp932Qt.h"
#include "ui_TagCheckDlg.h"

#include <QHeaderView>
#include <QStyle>
#include <algorithm>

CTagCheckDlg::CTagCheckDlg(const LibraryNode& root, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TagCheckDlg>()) {
    m_ui->setupUi(this);
    QTableWidget* table = m_ui->findingsTableWidget;
    table->setAccessibleName(u"確認結果"_qs);
    const QString headers[] = {u"広告項目"_qs, u"No."_qs, u"広告名"_qs, u"種類"_qs, u"内容"_qs, u"詳細"_qs};
    table->setColumnCount(6);
    for (int c = 0; c < 6; ++c)
        table->setHorizontalHeaderItem(c, new QTableWidgetItem(headers[c]));
    table->verticalHeader()->hide();

    const QIcon errorIcon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    const QIcon warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const std::vector<BannerCheck> checks = CheckLibraryTags(root);
    int errors = 0, warnings = 0, banners = 0;
    for (const BannerCheck& c : checks) {
        if (!c.findings.empty())
            ++banners;
        for (const TagFinding& f : c.findings) {
            const bool error = f.severity == TagSeverity::Error;
            ++(error ? errors : warnings);
            const int row = table->rowCount();
            table->insertRow(row);
            const QString texts[] = {Cp932Qt::ToQt(c.itemPath),
                                     QString::number(c.index + 1),
                                     Cp932Qt::ToQt(c.banner->name),
                                     QString::fromUtf8(TagSeverityText(f.severity)),
                                     QString::fromUtf8(TagProblemText(f.problem)),
                                     QString::fromStdString(f.detail)};
            for (int col = 0; col < 6; ++col) {
                auto* item = new QTableWidgetItem(texts[col]);
                item->setToolTip(texts[col]);
                table->setItem(row, col, item);
            }
            table->item(row, 3)->setIcon(error ? errorIcon : warningIcon);
            m_rows.push_back({c.item, c.banner});
        }
    }
    table->resizeColumnsToContents();
    const int widest[] = {200, 60, 160, 90, 300};
    for (int col = 0; col < 5; ++col)
        table->setColumnWidth(col, std::min(table->columnWidth(col), widest[col]));
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

    if (checks.empty())
        m_ui->summaryLabel->setText(u"確認するバナーがありません。"_qs);
    else if (errors + warnings == 0)
        m_ui->summaryLabel->setText(u"%1件のバナーを確認しました。問題は見つかりませんでした。"_qs.arg(checks.size()));
    else
        m_ui->summaryLabel->setText(
            u"%1件のバナーを確認しました。%2件のバナーにエラー %3件、警告 %4件があります。"_qs.arg(checks.size())
                .arg(banners)
                .arg(errors)
                .arg(warnings));
}

CTagCheckDlg::~CTagCheckDlg() = default;

QTableWidget* CTagCheckDlg::Findings() const {
    return m_ui->findingsTableWidget;
}
