#include "admanager/shell/AfManagerApp.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    // The embedded browser refuses to run as root with its sandbox on.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser shares its graphics context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    app.setApplicationName(u"zova_af"_qs);
    app.setApplicationDisplayName(u"Zelvor管理"_qs);

    int code = 0;
    {
        CAfManagerApp theApp;
        QStringList arguments = app.arguments();
        arguments.removeFirst();
        if (!theApp.InitInstance(arguments))
            return 0;
        code = app.exec();
        theApp.ExitInstance();
    }
    return code;
}
