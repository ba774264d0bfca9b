#include "application.h"
#include "tavlino.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    keepLargeBuffersMapped();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 scales by the screen's device pixel ratio by itself; Qt 5 draws
    // a tiny window on a 200% screen unless told before the application
    // object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QApplication app(argc, argv);
    describeApplication();
    Tavlino window;
    window.show();
    return app.exec();
}
