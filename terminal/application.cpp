#include "application.h"

#include <QGuiApplication>

void describeApplication()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVLINO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVLINO_APP_ID));
}
