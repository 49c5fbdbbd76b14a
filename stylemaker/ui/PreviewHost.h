#pragma once

#include <QString>

class QWidget;

namespace vessilo {

// The preview's embedded browser, behind two calls so the view needs to know
// nothing about the engine.
QWidget* CreatePreviewWidget(QWidget* parent);
// Shows url (a file URL of the preview page) in a widget made by CreatePreviewWidget.
void NavigatePreview(QWidget* preview, const QString& url);

} // namespace vessilo
