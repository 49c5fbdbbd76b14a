#include "admanager/shell/AboutDlg.h"

#include "ui_AboutDlg.h"

#include <QIcon>
#include <QMouseEvent>

CAboutDlg::CAboutDlg(const QString& homeUrl, std::function<void(const QString&)> openUrl, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>()), m_url(homeUrl), m_openUrl(std::move(openUrl)) {
    m_ui->setupUi(this);
    m_ui->iconLabel->setPixmap(QIcon(u":/icons/zova_af.svg"_qs).pixmap(32, 32));
    QFont underlined = m_ui->linkLabel->font();
    underlined.setUnderline(true);
    m_ui->linkLabel->setFont(underlined);
    m_ui->linkLabel->setText(homeUrl);
    QPalette p = m_ui->linkLabel->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Link));
    m_ui->linkLabel->setPalette(p);
    m_ui->linkLabel->installEventFilter(this);
    setFixedSize(sizeHint());
}

CAboutDlg::~CAboutDlg() = default;

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->linkLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (m_openUrl)
            m_openUrl(m_url);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
