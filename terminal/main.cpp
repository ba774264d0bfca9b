#include "tavlino.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Tavlino window;
    window.show();
    return app.exec();
}
