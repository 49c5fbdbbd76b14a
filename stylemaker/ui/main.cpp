#include "stylemaker/ui/VessiloApp.h"
#include "common/ui/AppSetup.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    // The embedded browser refuses to run as root with its sandbox on.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons); // the icons live in a static library
    SetUpApplication(app, u"Vessilo"_qs, u":/icons/vessilo.svg"_qs, u"jp.zelvor.Vessilo"_qs);
    app.setApplicationVersion(u"1.0.0.1"_qs);

    int code = 0;
    {
        vessilo::CVessiloApp theApp;
        if (!theApp.InitInstance(app.arguments().mid(1)))
            return 0;
        code = app.exec();
        theApp.ExitInstance();
    }
    return code;
}
