#ifndef RETURNWATCH_H
#define RETURNWATCH_H

#include <QObject>
#include <QString>

class QFileSystemWatcher;

// What a USB device says it is. A board that resets or is flashed leaves
// the system and comes back with the same three; another board may come
// back under the same ttyACM0.
struct DeviceIdentity {
    bool usb = false;
    quint16 vendor = 0;
    quint16 product = 0;
    QString serialNumber;
    // What the device calls itself (its USB product string), if anything.
    QString description;
};

// The device behind a port name or path as the system describes it now
// (not USB when it cannot tell, or when nothing is there).
DeviceIdentity identityOf(const QString &portName);
// Whether what came back under the name is the device that was opened: the
// same USB vendor, product and serial number, or, for a device that is not
// USB (a simulator's link, a built-in UART), whatever the name leads to.
bool isSameDevice(const DeviceIdentity &opened, const DeviceIdentity &now);
// Whether a lost port is worth waiting for. The system hands a bare
// pseudo-terminal's number (/dev/pts/7) to whichever program asks next, so
// what appears under it later is never the device that went; a link to one
// is the person's own name for their device, and is waited for.
bool canWaitFor(const QString &portName);

// Waits, without polling, for a lost device to come back under its name:
// on Unix a watch on the folder its name lives in (inotify on Linux), which
// also hears udev give a new node its permissions; on Windows the
// system's port-arrival broadcast. Each time the name may be back,
// mayBeBack() is emitted if the device there is the one that went; the
// window then tries to open it, and if that fails (the node has no
// permissions yet), the next change tries again.
class ReturnWatch : public QObject
{
    Q_OBJECT

public:
    ReturnWatch(const QString &portName, const DeviceIdentity &identity, QObject *parent = nullptr);

Q_SIGNALS:
    void mayBeBack();

private:
    void watchNearestFolder();
    void look();

    QString name;
    DeviceIdentity identity;
    QFileSystemWatcher *folders = nullptr;
};

#endif // RETURNWATCH_H
