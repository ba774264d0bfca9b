#ifndef PORTLIST_H
#define PORTLIST_H

#include <QString>
#include <QVector>

// One port as the Com box lists it: the name that opens it, and what the
// system knows of the device behind it.
struct PortEntry {
    QString name;
    QString description;
    bool usb = false;
    quint16 vendor = 0;
    quint16 product = 0;
};

// What the list shows for a port: its name and, where known, what it is:
// "ttyUSB0 — CP2102N USB to UART Bridge Controller (10c4:ea60)".
QString entryText(const PortEntry &entry);
// Name order as a person counts: COM9 before COM10, ttyUSB9 before ttyUSB10.
bool comesBefore(const QString &left, const QString &right);
// USB ports first, then the others, each in name order.
QVector<PortEntry> inListOrder(QVector<PortEntry> entries);
// The serial ports there are now, in list order: Qt's, and on Linux the
// links in /dev that udev rules or the person made to one (/dev/esp32).
QVector<PortEntry> presentPorts();
// What is known of the device a name or path leads to (nothing for a pty).
PortEntry entryFor(const QString &name);

#endif // PORTLIST_H
