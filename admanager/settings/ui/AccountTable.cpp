#include "admanager/settings/ui/AccountTable.h"

#include <QHeaderView>
#include <QTableWidget>

namespace AccountTable {

void SetUp(QTableWidget* table, int firstWidth, int secondWidth) {
    table->setRowCount(0);
    table->setColumnWidth(0, firstWidth);
    table->setColumnWidth(1, secondWidth);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->setWordWrap(false);
    // Tab leaves the list for the next control, as in report-style lists.
    table->setTabKeyNavigation(false);
}

void SetRow(QTableWidget* table, int row, const QString& first, const QString& second) {
    if (row >= table->rowCount())
        table->setRowCount(row + 1);
    const QString texts[] = {first, second};
    for (int column = 0; column < 2; ++column) {
        QTableWidgetItem* item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            table->setItem(row, column, item);
        }
        item->setText(texts[column]);
    }
}

int SelectedRow(const QTableWidget* table) {
    const QList<QTableWidgetItem*> items = table->selectedItems();
    return items.isEmpty() ? -1 : items.constFirst()->row();
}

void SelectRow(QTableWidget* table, int row) {
    table->setFocus();
    table->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace AccountTable
