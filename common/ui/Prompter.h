#pragma once

#include <QColor>
#include <QString>
#include <optional>

class QWidget;

// Every message box, question and file or colour dialog goes through here, so
// tests can answer them with a script instead of a person.
class Prompter {
public:
    enum class Icon { Information, Exclamation, Stop, Question };
    // DeleteLater: 削除 (Yes) and 後で (No).
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, DeleteLater };
    enum class Answer { Ok, Cancel, Yes, No };

    struct FileDialog {
        QString defaultExtension; // without the dot
        QString initialName;      // e.g. "*.zva"
        QString filter;           // Qt form: "Zelvorファイル(*.zva)"
        QString directory;
    };

    virtual ~Prompter() = default;
    virtual Answer Message(QWidget* parent, const QString& text, Icon icon, Buttons buttons = Buttons::Ok) = 0;
    // Empty when cancelled.
    virtual QString OpenFileName(QWidget* parent, const FileDialog& dialog) = 0;
    virtual QString SaveFileName(QWidget* parent, const FileDialog& dialog) = 0;
    virtual std::optional<QColor> Color(QWidget* parent, const QColor& initial) = 0;
    // A secret typed without echo (a key's passphrase); nullopt when cancelled.
    virtual std::optional<QString> Secret(QWidget* parent, const QString& label);

    // The one in use; a dialog-based one unless a test installed another.
    static Prompter& Current();
    // Installs p (not owned); nullptr restores the dialog-based one.
    static void Install(Prompter* p);
    // Caption of message boxes.
    static void SetTitle(const QString& title);
    static QString Title();
};

// The real dialogs.
class DialogPrompter : public Prompter {
public:
    Answer Message(QWidget* parent, const QString& text, Icon icon, Buttons buttons) override;
    QString OpenFileName(QWidget* parent, const FileDialog& dialog) override;
    QString SaveFileName(QWidget* parent, const FileDialog& dialog) override;
    std::optional<QColor> Color(QWidget* parent, const QColor& initial) override;
};
