#pragma once

#include <QWidget>

// The start-up splash: top-left corner, always on top, gone after three seconds
// whatever start-up is doing then.
class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    explicit CSplashWnd(QWidget* parent = nullptr);
    static constexpr int kLifetimeMs = 3000;
};
