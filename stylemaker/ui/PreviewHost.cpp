#include "stylemaker/ui/PreviewHost.h"

#include "common/ui/WebBrowser2.h"

#include <QUrl>

namespace vessilo {

QWidget* CreatePreviewWidget(QWidget* parent) {
    auto* browser = new CWebBrowser2(parent);
    browser->setObjectName(u"previewBrowser"_qs);
    return browser;
}

void NavigatePreview(QWidget* preview, const QString& url) {
    auto* browser = qobject_cast<CWebBrowser2*>(preview);
    if (!browser)
        return;
    // Our preview pages are local files; the browser reads them as Shift_JIS.
    QUrl target(url);
    browser->Navigate2(target.isLocalFile() ? target.toLocalFile() : url);
}

} // namespace vessilo
