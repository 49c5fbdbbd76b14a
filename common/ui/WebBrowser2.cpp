#include "common/ui/WebBrowser2.h"

#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"

#include <QChildEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>

namespace {

// setContent carries at most about 2 MB; bigger pages go through load().
constexpr std::size_t kMaxInlinePage = 1'500'000;

// "https://x", "about:blank"; not "/x" or a drive letter such as "C:/x".
bool IsAddress(const QString& text) {
    QUrl url(text);
    return url.isValid() && url.scheme().size() > 1 && url.scheme() != u"file"_qs;
}

} // namespace

void CWebBrowser2::PrepareEngine() {
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWidget(parent) {
    PrepareEngine();
    m_view = new QWebEngineView(this);
    m_view->setObjectName(u"previewWebEngineView"_qs);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_view->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // A preview is no stop for Tab: its links would hold the keyboard inside it.
    // A click still gives it the focus, for scrolling.
    setFocusPolicy(Qt::NoFocus);
    m_view->setFocusPolicy(Qt::ClickFocus);
    m_view->installEventFilter(this);
    connect(m_view, &QWebEngineView::loadFinished, this, &CWebBrowser2::loadFinished);
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this, &CWebBrowser2::OnLoading);
    // A screen reader hears which page the view shows (and a test can read it).
    connect(m_view, &QWebEngineView::titleChanged, this, [this](const QString& title) { setAccessibleDescription(title); });
    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setInterval(kAnswerTimeoutMs);
    connect(m_answerTimer, &QTimer::timeout, this, [this] {
        m_view->stop();
        ShowFallback();
    });
}

// The engine adds the widget that takes the keys when the first page shows; it
// must not become a Tab stop either.
bool CWebBrowser2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            child->setFocusPolicy(Qt::ClickFocus);
    }
    return QWidget::eventFilter(watched, event);
}

QString CWebBrowser2::FailurePage(const QUrl& url) {
    return u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>ページを表示できません</title>"
           u"<style>body{font-family:sans-serif;margin:24px;color:#223}h1{font-size:18px;color:#2f6fb3}"
           u"p{word-break:break-all}</style></head><body><h1>ページを表示できません</h1>"
           u"<p>次のページを読み込めませんでした。インターネットへの接続を確認してください。</p><p>"_qs +
           url.toDisplayString().toHtmlEscaped() + u"</p></body></html>"_qs;
}

void CWebBrowser2::OnLoading(const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
        return;
    m_answerTimer->stop();
    const bool httpError = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400;
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus || httpError) {
        // A page inside one of ours (an ad's frame) never gets here: only the
        // main frame reports loading.
        if (!m_showingFallback && info.url() != QUrl(u"about:blank"_qs))
            ShowFallback();
        return;
    }
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
        m_showingFallback = false;
}

void CWebBrowser2::ShowFallback() {
    m_showingFallback = true;
    if (!m_fallback.isEmpty() && QUrl::fromLocalFile(m_fallback) != m_lastUrl && FileOps::FileExists(m_fallback.toStdString())) {
        std::string bytes;
        if (FileOps::ReadWholeFile(m_fallback.toStdString(), bytes)) {
            m_view->setContent(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                               u"text/html;charset=Shift_JIS"_qs, QUrl::fromLocalFile(m_fallback));
            return;
        }
    }
    m_view->setHtml(FailurePage(m_lastUrl), QUrl(u"about:blank"_qs));
}

CWebBrowser2::~CWebBrowser2() = default;

void CWebBrowser2::Navigate2(const std::string& pathOrUrl) { Navigate2(Cp932Qt::ToQt(pathOrUrl)); }

void CWebBrowser2::Navigate2(const QString& pathOrUrl) {
    m_last = pathOrUrl;
    m_showingFallback = false;
    m_answerTimer->stop();
    if (IsAddress(m_last)) {
        m_lastUrl = QUrl(m_last);
        // A page on the web that keeps us waiting gives way to ours.
        if (m_lastUrl.scheme().startsWith(u"http"_qs))
            m_answerTimer->start();
        m_view->load(m_lastUrl);
        return;
    }
    m_lastUrl = m_last.startsWith(u"file:"_qs, Qt::CaseInsensitive) ? QUrl(m_last) : QUrl::fromLocalFile(m_last);
    const std::string localPath = m_lastUrl.toLocalFile().toStdString();
    const long long size = localPath.empty() ? -1 : FileOps::FileSize(localPath);
    std::string bytes;
    if (size >= 0 && size <= static_cast<long long>(kMaxInlinePage) && FileOps::ReadWholeFile(localPath, bytes)) {
        // Chromium guesses the encoding of a page without a charset; ours are Shift_JIS.
        m_view->setContent(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                           u"text/html;charset=Shift_JIS"_qs, m_lastUrl);
        return;
    }
    // Large, or missing: the engine loads it; a missing one gives way to ours.
    m_view->load(m_lastUrl);
}
