#pragma once

#include <QString>

class QTableWidget;

// The two-column list of the account dialogs.
namespace AccountTable {

// Column widths in pixels, header texts from the form.
void SetUp(QTableWidget* table, int firstWidth, int secondWidth);
// Writes a row's two cells, adding the row when it is one past the end.
void SetRow(QTableWidget* table, int row, const QString& first, const QString& second);
// The selected row, or -1.
int SelectedRow(const QTableWidget* table);
// Makes row the current and only selected row.
void SelectRow(QTableWidget* table, int row);

} // namespace AccountTable
