#pragma once

#include <QString>

class QWidget;

namespace vessilo {

// The preview's browser, kept behind these two calls so the page view can be
// swapped without touching the rest of the program.
QWidget* CreatePreviewWidget(QWidget* parent);
// Shows url (a file URL of the preview page) in a widget made by CreatePreviewWidget.
void NavigatePreview(QWidget* preview, const QString& url);

} // namespace vessilo
