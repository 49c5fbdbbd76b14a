#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class VessiloAboutDlg;
}

namespace vessilo {

// The version box.
class CVessiloAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CVessiloAboutDlg(QWidget* parent = nullptr);
    ~CVessiloAboutDlg() override;

private:
    std::unique_ptr<Ui::VessiloAboutDlg> m_ui;
};

} // namespace vessilo
