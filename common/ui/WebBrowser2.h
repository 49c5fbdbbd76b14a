#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <string>

class QTimer;
class QWebEngineLoadingInfo;
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

    // Where to go when a page of ours cannot be loaded (no network, unknown
    // host, an HTTP error, no answer in time): a local page such as the top
    // page. Without one, a Japanese page of ours says what could not be
    // loaded. The engine's own error page is never left showing.
    void SetFallbackPage(const QString& localPath) { m_fallback = localPath; }
    // How long a web address may take to answer before the fallback shows.
    static constexpr int kAnswerTimeoutMs = 5000;
    // The page of ours that says url could not be loaded (UTF-8 HTML).
    static QString FailurePage(const QUrl& url);

    // Set before the first view when running as root: the engine refuses to
    // start its sandbox there.
    static void PrepareEngine();

Q_SIGNALS:
    void loadFinished(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnLoading(const QWebEngineLoadingInfo& info);
    void ShowFallback();

    QWebEngineView* m_view;
    QTimer* m_answerTimer;
    QString m_last;
    QUrl m_lastUrl;
    QString m_fallback;
    bool m_showingFallback = false;
};
