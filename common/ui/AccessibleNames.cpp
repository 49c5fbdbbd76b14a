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
#include <QRadioButton>

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

QAccessibleInterface* ComboBoxFactory(const QString& className, QObject* object) {
    if (className == u"QComboBox"_qs)
        if (auto* combo = qobject_cast<QComboBox*>(object))
            return new NamedComboBox(combo);
    return nullptr;
}

} // namespace

void InstallComboBoxNames() { QAccessible::installFactory(ComboBoxFactory); }

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
