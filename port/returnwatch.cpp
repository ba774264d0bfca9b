#include "returnwatch.h"

#include "portlistwatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSerialPortInfo>

namespace {

// Where Qt looks for a port name: a path as it is, a bare name under /dev.
QString locationOf(const QString &portName)
{
#ifdef Q_OS_UNIX
    if (!portName.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + portName;
#endif
    return portName;
}

#ifndef Q_OS_LINUX
// Qt's own description of the port, for systems without sysfs.
DeviceIdentity identityFromQt(const QString &portName)
{
    DeviceIdentity identity;
    const QString location = QFileInfo(locationOf(portName)).canonicalFilePath();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        const bool named = port.portName().compare(portName, Qt::CaseInsensitive) == 0 ||
                           (!location.isEmpty() && port.systemLocation() == location);
        if (!named)
            continue;
        identity.usb = port.hasVendorIdentifier() && port.hasProductIdentifier();
        identity.vendor = port.vendorIdentifier();
        identity.product = port.productIdentifier();
        identity.serialNumber = port.serialNumber();
        identity.description = port.description();
        break;
    }
    return identity;
}
#endif

#ifdef Q_OS_LINUX
QString sysfsValue(const QString &folder, const char *file)
{
    QFile value(folder + QLatin1Char('/') + QLatin1String(file));
    if (!value.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(value.readAll()).trimmed();
}

// Read from sysfs, which the kernel fills before the device node appears;
// udev's database, which Qt reads, may not have the device yet when its
// node shows up.
DeviceIdentity identityFromSysfs(const QString &portName)
{
    DeviceIdentity identity;
    const QString node = QFileInfo(locationOf(portName)).canonicalFilePath();
    if (node.isEmpty())
        return identity;
    QString folder = QFileInfo(QStringLiteral("/sys/class/tty/") + QFileInfo(node).fileName() +
                               QStringLiteral("/device"))
                         .canonicalFilePath();
    // The tty's interface lies below the USB device that carries the ids.
    while (folder.startsWith(QLatin1String("/sys/devices/"))) {
        if (QFileInfo::exists(folder + QStringLiteral("/idVendor"))) {
            bool vendorOk = false;
            bool productOk = false;
            identity.vendor = sysfsValue(folder, "idVendor").toUShort(&vendorOk, 16);
            identity.product = sysfsValue(folder, "idProduct").toUShort(&productOk, 16);
            identity.usb = vendorOk && productOk;
            identity.serialNumber = sysfsValue(folder, "serial");
            identity.description = sysfsValue(folder, "product");
            break;
        }
        folder = QFileInfo(folder).path();
    }
    return identity;
}
#endif

} // namespace

DeviceIdentity identityOf(const QString &portName)
{
#ifdef Q_OS_LINUX
    return identityFromSysfs(portName);
#else
    return identityFromQt(portName);
#endif
}

bool isSameDevice(const DeviceIdentity &opened, const DeviceIdentity &now)
{
    if (!opened.usb)
        return true;
    return now.usb && now.vendor == opened.vendor && now.product == opened.product &&
           now.serialNumber == opened.serialNumber;
}

bool canWaitFor(const QString &portName)
{
#ifdef Q_OS_UNIX
    return !QDir::cleanPath(locationOf(portName)).startsWith(QLatin1String("/dev/pts/"));
#else
    Q_UNUSED(portName)
    return true;
#endif
}

ReturnWatch::ReturnWatch(const QString &portName, const DeviceIdentity &identity, QObject *parent)
    : QObject(parent), name(portName), identity(identity)
{
#ifdef Q_OS_WIN
    connect(new PortListWatch(this), &PortListWatch::arrived, this, [this](const QString &port) {
        if (port.compare(name, Qt::CaseInsensitive) == 0)
            look();
    });
#else
    folders = new QFileSystemWatcher(this);
    connect(folders, &QFileSystemWatcher::directoryChanged, this, &ReturnWatch::look);
    watchNearestFolder();
#endif
}

// The name's own folder, or, while that is gone too (udev removes
// /dev/serial/by-id with the last USB serial device), the nearest one above
// it that is there: its change says the folder below may be back.
void ReturnWatch::watchNearestFolder()
{
    QString folder = QFileInfo(locationOf(name)).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
        folder = QFileInfo(folder).path();
    const QStringList watched = folders->directories();
    if (watched == QStringList{folder})
        return;
    if (!watched.isEmpty())
        folders->removePaths(watched);
    folders->addPath(folder);
}

void ReturnWatch::look()
{
    if (folders)
        watchNearestFolder();
#ifdef Q_OS_UNIX
    // A link whose device is not there yet leads nowhere.
    if (!QFileInfo::exists(locationOf(name)))
        return;
#endif
    if (isSameDevice(identity, identityOf(name)))
        Q_EMIT mayBeBack();
}
