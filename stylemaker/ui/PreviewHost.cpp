#include "stylemaker/ui/PreviewHost.h"

#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"

#include <QLabel>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vessilo {

namespace {

// The style sheet named by the page's <link>, read in the same code page.
QString LinkedStyleSheet(const std::string& html) {
    static const std::string key = "<link rel=\"stylesheet\" type=\"text/css\" href=\"";
    std::size_t at = html.find(key);
    if (at == std::string::npos)
        return {};
    at += key.size();
    std::size_t end = html.find('"', at);
    std::string css;
    if (end == std::string::npos || !FileOps::ReadWholeFile(html.substr(at, end - at), css))
        return {};
    return Cp932Qt::ToQt(css);
}

} // namespace

QWidget* CreatePreviewWidget(QWidget* parent) {
    auto* host = new QWidget(parent);
    host->setObjectName(u"previewWidget"_qs);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* address = new QLabel(host);
    address->setObjectName(u"previewAddressLabel"_qs);
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(address);
    auto* browser = new QTextBrowser(host);
    browser->setObjectName(u"previewTextBrowser"_qs);
    browser->setOpenLinks(false);
    layout->addWidget(browser, 1);
    return host;
}

void NavigatePreview(QWidget* preview, const QString& url) {
    if (!preview)
        return;
    auto* address = preview->findChild<QLabel*>(u"previewAddressLabel"_qs);
    auto* browser = preview->findChild<QTextBrowser*>(u"previewTextBrowser"_qs);
    if (address)
        address->setText(url);
    if (!browser)
        return;
    QUrl target(url);
    std::string html;
    if (!target.isLocalFile() || !FileOps::ReadWholeFile(target.toLocalFile().toStdString(), html)) {
        browser->clear();
        return;
    }
    browser->document()->setDefaultStyleSheet(LinkedStyleSheet(html));
    browser->setHtml(Cp932Qt::ToQt(html));
}

} // namespace vessilo
