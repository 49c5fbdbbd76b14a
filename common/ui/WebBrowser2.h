#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <string>

class QWebEngineView;

// The embedded browser. Navigate2 takes what the program keeps: a CP932 file
// path or web address. Our own pages carry no charset and are read as
// Shift_JIS; they may load remote ad scripts and images.
class CWebBrowser2 : public QWidget {
    Q_OBJECT
public:
    explicit CWebBrowser2(QWidget* parent);
    ~CWebBrowser2() override;

    void Navigate2(const std::string& pathOrUrl);
    // The same for a path or address already in Qt's form.
    void Navigate2(const QString& pathOrUrl);
    // The address of the last Navigate2 as given (UTF-8 QString), for tests.
    QString LastAddress() const { return m_last; }
    QUrl LastUrl() const { return m_lastUrl; }
    QWebEngineView* View() const { return m_view; }

    // Set before the first view when running as root: the engine refuses to
    // start its sandbox there.
    static void PrepareEngine();

Q_SIGNALS:
    void loadFinished(bool ok);

private:
    QWebEngineView* m_view;
    QString m_last;
    QUrl m_lastUrl;
};
