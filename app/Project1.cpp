// Velmora: harvests the images of a saved web style sheet.

#include "Unit1.h"
#include "WebBrowser.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
#ifdef Q_OS_UNIX
    // The browser engine refuses to start as root inside its sandbox; running as root is the
    // user's choice, so the sandbox goes, and the user is told.
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("velmora: running as root, the embedded browser runs without its sandbox\n",
                   stderr);
    }
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(kApplicationTitle));
    TWebBrowser::setEngineEnabled(true);

    TForm1 Form1;
    Form1.show();
    return application.exec();
}
