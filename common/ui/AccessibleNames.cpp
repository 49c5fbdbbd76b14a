#include "common/ui/AccessibleNames.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTabBar>
#include <map>

namespace {

QString Plain(QString text) {
    text.remove(QLatin1Char('&'));
    return text.trimmed();
}

// Units and marks that follow a control rather than name it.
bool IsUnit(const QString& text) {
    static const QStringList units = {u"px"_qs, u"%"_qs, u"..."_qs, u"行"_qs};
    return text.isEmpty() || units.contains(text);
}

bool IsSide(const QString& text) {
    static const QStringList sides = {u"左"_qs, u"右"_qs, u"上"_qs, u"下"_qs};
    return sides.contains(text);
}

bool IsNamedControl(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractItemView*>(w);
}

class NamedComboBox : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && !Combo()->accessibleName().isEmpty())
            return Combo()->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value)
            return Combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    // The drop-down list, and the edit of an editable combo box, as Qt gives them.
    int childCount() const override { return Combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(Combo()->view());
        if (index == 1 && Combo()->isEditable())
            return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        if (child->object() == Combo()->view())
            return 0;
        return Combo()->isEditable() && child->object() == Combo()->lineEdit() ? 1 : -1;
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

// One tab of a tab bar. Qt reports the current tab as focused whatever has the
// focus; this one says so only while the bar itself has the keyboard.
class TabButton : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabButton(QTabBar* bar, int index) : m_bar(bar), m_index(index) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return Plain(m_bar->tabText(m_index));
        return t == QAccessible::Description ? m_bar->tabToolTip(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect r = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = m_bar->focusPolicy() != Qt::NoFocus;
        s.selected = m_bar->currentIndex() == m_index;
        s.focused = s.selected && m_bar->hasFocus();
        s.disabled = !m_bar->isTabEnabled(m_index);
        s.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

class TabBar : public QAccessibleWidget {
public:
    explicit TabBar(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabBar() override {
        for (const auto& [index, id] : m_tabs)
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return Bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= Bar()->count())
            return nullptr;
        if (auto it = m_tabs.find(index); it != m_tabs.end())
            return QAccessible::accessibleInterface(it->second);
        auto* tab = new TabButton(Bar(), index);
        m_tabs[index] = QAccessible::registerAccessibleInterface(tab);
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : m_tabs)
            if (QAccessible::accessibleInterface(id) == child)
                return index;
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        return Bar()->hasFocus() ? child(Bar()->currentIndex()) : nullptr;
    }

private:
    QTabBar* Bar() const { return static_cast<QTabBar*>(widget()); }
    mutable std::map<int, QAccessible::Id> m_tabs;
};

QAccessibleInterface* WidgetFactory(const QString& className, QObject* object) {
    if (className == u"QComboBox"_qs)
        if (auto* combo = qobject_cast<QComboBox*>(object))
            return new NamedComboBox(combo);
    if (className == u"QTabBar"_qs)
        if (auto* bar = qobject_cast<QTabBar*>(object))
            return new TabBar(bar);
    return nullptr;
}

} // namespace

void InstallComboBoxNames() { QAccessible::installFactory(WidgetFactory); }

void NameControlsAfterLabels(QWidget* root) {
    QString row;
    QString side;
    // Children come in the order the form made them, which is reading order.
    const QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const QString text = Plain(label->text());
            if (IsSide(text))
                side = text;
            else if (!IsUnit(text)) {
                row = text;
                side.clear();
            }
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            row = Plain(static_cast<QAbstractButton*>(w)->text());
            side.clear();
        } else if (IsNamedControl(w) && w->accessibleName().isEmpty() && !row.isEmpty()) {
            // A combo box's own line edit and a list's viewport children are not separate controls.
            if (qobject_cast<QComboBox*>(w->parentWidget()))
                continue;
            w->setAccessibleName(side.isEmpty() ? row : row + u" "_qs + side);
        }
    }
}
