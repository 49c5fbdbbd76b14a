#include "common/ui/Prompter.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

Prompter* g_installed = nullptr;
QString g_title = u"Zelvor管理"_qs;

// A wildcard is no extension to add ("*" would make "ad.*").
bool IsExtension(const QString& ext) { return !ext.isEmpty() && !ext.contains(QLatin1Char('*')); }

QString WithExtension(QString path, const QString& ext) {
    if (!path.isEmpty() && IsExtension(ext) && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + ext;
    return path;
}

} // namespace

Prompter& Prompter::Current() {
    static DialogPrompter dialogs;
    return g_installed ? *g_installed : dialogs;
}

void Prompter::Install(Prompter* p) { g_installed = p; }
void Prompter::SetTitle(const QString& title) { g_title = title; }
QString Prompter::Title() { return g_title; }

Prompter::Answer DialogPrompter::Message(QWidget* parent, const QString& text, Icon icon, Buttons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(Title());
    box.setText(text);
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Stop: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Buttons::DeleteLater:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(u"削除"_qs);
        box.button(QMessageBox::No)->setText(u"後で"_qs);
        box.setDefaultButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Ok: return Answer::Ok;
    default: return Answer::Cancel;
    }
}

QString DialogPrompter::OpenFileName(QWidget* parent, const FileDialog& d) {
    QFileDialog dialog(parent, QString(), d.directory, d.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly);
    if (IsExtension(d.defaultExtension))
        dialog.setDefaultSuffix(d.defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogPrompter::SaveFileName(QWidget* parent, const FileDialog& d) {
    QFileDialog dialog(parent, QString(), d.directory, d.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (IsExtension(d.defaultExtension))
        dialog.setDefaultSuffix(d.defaultExtension);
    if (!d.initialName.isEmpty() && !d.initialName.startsWith(QLatin1Char('*')))
        dialog.selectFile(d.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return WithExtension(dialog.selectedFiles().constFirst(), d.defaultExtension);
}

std::optional<QColor> DialogPrompter::Color(QWidget* parent, const QColor& initial) {
    QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

std::optional<QString> Prompter::Secret(QWidget* parent, const QString& label) {
    bool ok = false;
    QString text = QInputDialog::getText(parent, Title(), label, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}
