#include "tavlino.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVLINO_VERSION));
    Tavlino window;
    window.show();
    return app.exec();
}
