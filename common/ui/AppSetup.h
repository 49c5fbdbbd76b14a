#pragma once

#include <QString>

class QApplication;

// What both programs set up right after the application object exists: their
// name (and no display name: the X server would show it behind every caption),
// the icon every window and dialog takes, Qt's own texts in Japanese whatever
// the locale, Enter pressing the focused push button, and windows behind a modal
// dialog that take no commands.
void SetUpApplication(QApplication& app, const QString& name, const QString& iconPath,
                      const QString& desktopFileName);

// Loads Qt's Japanese translations; false when they are not installed.
bool InstallJapaneseQtTexts(QApplication& app);
