#include "common/ui/AppSetup.h"

#include "common/ui/AccessibleNames.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
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

// A modal dialog keeps everything behind it still, whatever the window system
// does. Qt loses a dialog's modal state when it recreates the dialog's window for
// an embedded browser, and without a window manager (and with some) a click on
// the window behind gives it the keyboard: its shortcuts and menus would then run
// commands on a document the dialog is working on. So the dialogs shown modally
// are tracked here, input to any other window is swallowed while one is up, and
// activation goes back to it.
class ModalGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->isWindow())
                Track(widget, event->type() == QEvent::Show);
            return false;
        case QEvent::WindowActivate:
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->isWindow() && IsBlocked(widget))
                QTimer::singleShot(0, this, [this] {
                    if (QWidget* modal = TopModal()) {
                        modal->raise();
                        modal->activateWindow();
                    }
                });
            return false;
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::Drop: {
            // An action's shortcut belongs to the widget that holds the action.
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget && watched->parent())
                widget = qobject_cast<QWidget*>(watched->parent());
            return widget && IsBlocked(widget);
        }
        default: return false;
        }
    }

private:
    void Track(QWidget* window, bool shown) {
        m_modals.removeAll(nullptr);
        m_modals.removeAll(QPointer<QWidget>(window));
        if (shown && window->windowModality() != Qt::NonModal)
            m_modals.append(window);
    }

    QWidget* TopModal() {
        m_modals.removeAll(nullptr);
        for (auto it = m_modals.crbegin(); it != m_modals.crend(); ++it)
            if ((*it)->isVisible())
                return *it;
        return nullptr;
    }

    // Everything but the top modal dialog and the windows it owns (message boxes,
    // its own dialogs) is blocked. Popups are left alone: only what has the focus
    // opens one (a completer's list has no parent at all), and a click outside closes it.
    bool IsBlocked(const QWidget* widget) {
        const QWidget* modal = TopModal();
        if (!modal || widget->window()->windowType() == Qt::Popup)
            return false;
        for (const QWidget* w = widget; w; w = w->parentWidget())
            if (w == modal)
                return false;
        return true;
    }

    QList<QPointer<QWidget>> m_modals;
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

void SetUpApplication(QApplication& app, const QString& name, const QString& iconPath,
                      const QString& desktopFileName) {
    QCoreApplication::setApplicationName(name);
    // Docks and Wayland compositors find the launcher, its icon and its
    // windows by this name; on X11 the window class is the application name,
    // which the entry's StartupWMClass names.
    QGuiApplication::setDesktopFileName(desktopFileName);
    QApplication::setWindowIcon(QIcon(iconPath));
    InstallJapaneseQtTexts(app);
    InstallComboBoxNames();
    app.installEventFilter(new FocusedButtonEnter(&app));
    app.installEventFilter(new ModalGuard(&app));
}
