#ifndef HANGUPWATCH_H
#define HANGUPWATCH_H

#include <QObject>

class QSerialPort;
class QSocketNotifier;

// Tells when the device behind an open port has hung up: a USB adapter
// pulled out, or a pty whose other end closed. Qt 5.15 and 6.4 report that
// as a read error, because read() then returns 0; Qt 6.8 takes a read of 0
// bytes as no data at all, reports nothing and keeps the port open, and its
// read notifier then fires without end on the hung-up descriptor, a core's
// worth of CPU. The hang-up itself is an error condition on the descriptor,
// which this watches for beside Qt's own reading. Elsewhere than on Unix
// Qt reports a lost device itself, and this does nothing.
class HangUpWatch : public QObject
{
    Q_OBJECT

public:
    // Watches the port's descriptor until it is destroyed, which must happen
    // before the port is closed.
    explicit HangUpWatch(QSerialPort *port, QObject *parent = nullptr);

Q_SIGNALS:
    void hungUp();

private:
    void check();

    QSerialPort *port = nullptr;
    QSocketNotifier *notifier = nullptr;
};

// Bytes the driver holds for the port that Qt has not read yet (0 where
// that cannot be asked).
int bytesInDriver(const QSerialPort &port);
// The notifier through which Qt learns that the port has bytes to read, or
// null where Qt reads another way.
QSocketNotifier *readNotifierOf(const QSerialPort &port);

#endif // HANGUPWATCH_H
