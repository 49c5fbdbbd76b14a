#pragma once

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class AboutDlg;
}

// The version box with a link to the publisher's home page.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(const QString& homeUrl, std::function<void(const QString&)> openUrl, QWidget* parent = nullptr);
    ~CAboutDlg() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::AboutDlg> m_ui;
    QString m_url;
    std::function<void(const QString&)> m_openUrl;
};
