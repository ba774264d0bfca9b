#include "portlist.h"

#include "returnwatch.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

QString entryText(const PortEntry &entry)
{
    QString details = entry.description.trimmed();
    if (entry.usb) {
        const QString ids = QStringLiteral("%1:%2")
                                .arg(entry.vendor, 4, 16, QLatin1Char('0'))
                                .arg(entry.product, 4, 16, QLatin1Char('0'));
        details = details.isEmpty() ? ids : details + QStringLiteral(" (") + ids + QLatin1Char(')');
    }
    if (details.isEmpty())
        return entry.name;
    return entry.name + QStringLiteral(" \u2014 ") + details;
}

namespace {

// The run of digits or of anything else that starts at `at`.
QStringView runAt(const QString &text, int at)
{
    const bool digits = text.at(at).isDigit();
    int end = at;
    while (end < text.size() && text.at(end).isDigit() == digits)
        ++end;
    return QStringView(text).mid(at, end - at);
}

// Numbers of any length, compared by value: leading zeros first, then the
// shorter number.
int compareNumbers(QStringView left, QStringView right)
{
    while (left.size() > 1 && left.front() == u'0')
        left = left.mid(1);
    while (right.size() > 1 && right.front() == u'0')
        right = right.mid(1);
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    return left.compare(right);
}

} // namespace

bool comesBefore(const QString &left, const QString &right)
{
    int l = 0;
    int r = 0;
    while (l < left.size() && r < right.size()) {
        const QStringView leftRun = runAt(left, l);
        const QStringView rightRun = runAt(right, r);
        const bool numbers = leftRun.front().isDigit() && rightRun.front().isDigit();
        const int order = numbers ? compareNumbers(leftRun, rightRun)
                                  : leftRun.compare(rightRun, Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
        l += int(leftRun.size());
        r += int(rightRun.size());
    }
    if ((l < left.size()) != (r < right.size()))
        return r < right.size();
    // Names that differ only in case or leading zeros still keep one order.
    return left < right;
}

QVector<PortEntry> inListOrder(QVector<PortEntry> entries)
{
    std::sort(entries.begin(), entries.end(), [](const PortEntry &a, const PortEntry &b) {
        if (a.usb != b.usb)
            return a.usb;
        return comesBefore(a.name, b.name);
    });
    return entries;
}

#ifdef Q_OS_LINUX

PortEntry entryFor(const QString &name)
{
    const DeviceIdentity identity = identityOf(name);
    return {name, identity.description, identity.usb, identity.vendor, identity.product};
}

namespace {

// A pty (a simulator's, socat's) or a serial port: a character device that
// sysfs files under the tty class, but no virtual console, /dev/tty, the
// console or ptmx.
bool isSerialDevice(const QString &path)
{
    struct stat node = {};
    if (::stat(QFile::encodeName(path).constData(), &node) != 0 || !S_ISCHR(node.st_mode))
        return false;
    const unsigned major = ::major(node.st_rdev);
    const unsigned minor = ::minor(node.st_rdev);
    if (major >= 136 && major <= 143)
        return true;
    if (major == 5 || (major == 4 && minor < 64))
        return false;
    const QString subsystem =
        QFileInfo(QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major).arg(minor))
            .canonicalFilePath();
    return subsystem.endsWith(QLatin1String("/class/tty"));
}

// Links a udev rule made (SYMLINK+="esp32") or the person did, directly in
// /dev: the names they know their boards by. /dev/stdin and its kind lead
// through /proc to whatever this process has open.
QVector<PortEntry> linksInDev()
{
    QVector<PortEntry> links;
    const QFileInfoList entries =
        QDir(QStringLiteral("/dev"))
            .entryInfoList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (!entry.isSymLink() || entry.symLinkTarget().startsWith(QLatin1String("/proc/")))
            continue;
        if (isSerialDevice(entry.absoluteFilePath()))
            links << entryFor(entry.fileName());
    }
    return links;
}

} // namespace

QVector<PortEntry> presentPorts()
{
    QVector<PortEntry> entries;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        // The kernel removes a device's node before its sysfs entry, where
        // Qt may still find it just after it was pulled out.
        if (!QFileInfo::exists(port.systemLocation()))
            continue;
        // Read from sysfs: udev's database, which Qt reads, may not yet have
        // a device whose node has just appeared.
        PortEntry entry = entryFor(port.portName());
        if (entry.description.isEmpty())
            entry.description = port.description();
        entries << entry;
    }
    entries << linksInDev();
    return inListOrder(entries);
}

#else

namespace {

PortEntry entryOf(const QSerialPortInfo &port)
{
    const bool usb = port.hasVendorIdentifier() && port.hasProductIdentifier();
    return {port.portName(), port.description(), usb, port.vendorIdentifier(),
            port.productIdentifier()};
}

} // namespace

PortEntry entryFor(const QString &name)
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (port.portName().compare(name, Qt::CaseInsensitive) == 0)
            return entryOf(port);
    }
    return {name, QString(), false, 0, 0};
}

QVector<PortEntry> presentPorts()
{
    QVector<PortEntry> entries;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        entries << entryOf(port);
    return inListOrder(entries);
}

#endif
