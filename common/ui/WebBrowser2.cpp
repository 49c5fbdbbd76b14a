#include "common/ui/WebBrowser2.h"

#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"

#include <QVBoxLayout>
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
    connect(m_view, &QWebEngineView::loadFinished, this, &CWebBrowser2::loadFinished);
}

CWebBrowser2::~CWebBrowser2() = default;

void CWebBrowser2::Navigate2(const std::string& pathOrUrl) { Navigate2(Cp932Qt::ToQt(pathOrUrl)); }

void CWebBrowser2::Navigate2(const QString& pathOrUrl) {
    m_last = pathOrUrl;
    if (IsAddress(m_last)) {
        m_lastUrl = QUrl(m_last);
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
    // Missing or large: the engine loads it and shows its own error page if need be.
    m_view->load(m_lastUrl);
}
