#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CssOutputDialog;
}

namespace vessilo {

// Asks for the output path and tag class name of a CSS export.
class CCssOutputDialog : public QDialog {
    Q_OBJECT
public:
    explicit CCssOutputDialog(QWidget* parent = nullptr);
    ~CCssOutputDialog() override;

    void SetPath(const QString& path);
    void SetTagClass(const QString& tagClass);
    QString Path() const;
    QString TagClass() const;
    Ui::CssOutputDialog* Form() const { return m_ui.get(); }

    // Refuses an empty tag class name and stays open.
    void accept() override;

private:
    void OnBrowse();

    std::unique_ptr<Ui::CssOutputDialog> m_ui;
};

} // namespace vessilo
