#include "admanager/shell/AfManagerApp.h"
#include "common/ui/AppSetup.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    // The embedded browser refuses to run as root with its sandbox on.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser shares its graphics context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons); // the icons live in a static library
    SetUpApplication(app, u"zova_af"_qs, u":/icons/zova_af.svg"_qs, u"jp.zelvor.zova_af"_qs);

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
