#include "admanager/shell/SplashWnd.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

CSplashWnd::CSplashWnd(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(u"splashWnd"_qs);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(u":/icons/zova_af.svg"_qs).pixmap(64, 64));
    auto* title = new QLabel(u"Zelvor管理"_qs, this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title->setFont(big);
    auto* subtitle = new QLabel(u"アフィリエイト広告管理ツール"_qs, this);
    auto* version = new QLabel(u"Ver.1.00"_qs, this);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(subtitle);
    text->addStretch();
    text->addWidget(version, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->setSpacing(16);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(text);
    move(0, 0);
    QTimer::singleShot(kLifetimeMs, this, &QWidget::close);
}
