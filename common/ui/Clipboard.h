#pragma once

#include <QString>

class QWidget;

// Puts text on the system clipboard; false when there is none or it did not
// take the text.
bool CopyTextToClipboard(const QString& text, QWidget* owner);
