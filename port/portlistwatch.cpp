#include "portlistwatch.h"

#include <QCoreApplication>
#include <QFileSystemWatcher>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <dbt.h>
#endif

PortListWatch::PortListWatch(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_WIN
    // Windows broadcasts a port's arrival and removal to every top-level
    // window.
    QCoreApplication::instance()->installNativeEventFilter(this);
#else
    devices = new QFileSystemWatcher(this);
    connect(devices, &QFileSystemWatcher::directoryChanged, this, &PortListWatch::changed);
    devices->addPath(QStringLiteral("/dev"));
#endif
}

PortListWatch::~PortListWatch()
{
#ifdef Q_OS_WIN
    QCoreApplication::instance()->removeNativeEventFilter(this);
#endif
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
bool PortListWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
#else
bool PortListWatch::nativeEventFilter(const QByteArray &eventType, void *message, long *)
#endif
{
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_DEVICECHANGE || !msg->lParam)
        return false;
    if (msg->wParam != DBT_DEVICEARRIVAL && msg->wParam != DBT_DEVICEREMOVECOMPLETE)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(msg->lParam);
    if (header->dbch_devicetype != DBT_DEVTYP_PORT)
        return false;
    if (msg->wParam == DBT_DEVICEARRIVAL) {
        const auto *port = reinterpret_cast<const DEV_BROADCAST_PORT_W *>(header);
        Q_EMIT arrived(QString::fromWCharArray(port->dbcp_name));
    }
    Q_EMIT changed();
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    return false;
}
