#include "stylemaker/ui/VessiloApp.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    // The embedded browser refuses to run as root with its sandbox on.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    app.setApplicationName(u"Vessilo"_qs);
    app.setApplicationDisplayName(u"Zelvor管理 CSSメーカー"_qs);
    app.setApplicationVersion(u"1.0.0.1"_qs);

    int code = 0;
    {
        vessilo::CVessiloApp theApp;
        if (!theApp.InitInstance())
            return 0;
        code = app.exec();
        theApp.ExitInstance();
    }
    return code;
}
