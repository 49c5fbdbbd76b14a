#include "stylemaker/ui/VessiloAboutDlg.h"

#include "ui_VessiloAboutDlg.h"

#include <QIcon>

namespace vessilo {

CVessiloAboutDlg::CVessiloAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::VessiloAboutDlg>()) {
    m_ui->setupUi(this);
    m_ui->iconLabel->setPixmap(QIcon(u":/icons/zova_af.svg"_qs).pixmap(32, 32));
    setFixedSize(sizeHint());
}

CVessiloAboutDlg::~CVessiloAboutDlg() = default;

} // namespace vessilo
