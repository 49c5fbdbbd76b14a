#include "common/ui/AppSetup.h"

#include "common/ui/AccessibleNames.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTranslator>

namespace {

// Dialog users expect Enter on a focused button to press that button. Qt hands
// Enter to the default button unless the focused one is an auto-default button,
// and our dialogs turn auto-default off to keep one default button.
class FocusedButtonEnter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || !button->hasFocus() || !button->isEnabled() || button->autoDefault())
            return false;
        if (!key->isAutoRepeat())
            button->animateClick();
        return true;
    }
};

} // namespace

bool InstallJapaneseQtTexts(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(u"qtbase_ja"_qs, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void SetUpApplication(QApplication& app, const QString& name, const QString& iconPath) {
    QCoreApplication::setApplicationName(name);
    QApplication::setWindowIcon(QIcon(iconPath));
    InstallJapaneseQtTexts(app);
    InstallComboBoxNames();
    app.installEventFilter(new FocusedButtonEnter(&app));
}
