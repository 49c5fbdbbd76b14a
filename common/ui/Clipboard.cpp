#include "common/ui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

bool CopyTextToClipboard(const QString& text, QWidget*) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    // Qt reports no failure; reading back is the only check there is.
    return clipboard->text() == text;
}
