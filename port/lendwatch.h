#ifndef LENDWATCH_H
#define LENDWATCH_H

#include <QObject>
#include <QString>

class QSerialPort;
class QSocketNotifier;

// Lends an open port to any other program that opens the same device, and
// says when that program has closed it again. A flasher (esptool, avrdude,
// stm32flash, a pyserial script) can then reach the board while the window
// keeps its session; the window lets go at once and takes the port back as
// soon as the device is free.
//
// Linux says when anyone opens or closes a device node (inotify's IN_OPEN
// and IN_CLOSE on the node), though not who: the watch counts the open
// descriptions of the node, the window's own among them, and another one
// while the window holds the port is another program. Qt takes the tty
// exclusively (TIOCEXCL), which makes every other open by an ordinary user
// fail with EBUSY before the system would say anything: the watch gives
// that up once the port is open. Elsewhere (Windows grants a port to one
// program at a time and tells nobody of another's attempt) it does nothing.
class LendWatch : public QObject
{
    Q_OBJECT

public:
    // Watches the device the open port leads to, from now on: the port is
    // held, and its own open is the one counted so far.
    explicit LendWatch(QSerialPort *port, QObject *parent = nullptr);
    ~LendWatch() override;

    // The window has opened the port again after it was lent (it let go
    // when wanted() was emitted).
    void takenBack();
    // Reads what the system has said so far, at once: true if another
    // program has the device now (wanted() has then been emitted). Called
    // before any read from the device, so that nothing the device sends
    // after another program opened it is taken from that program.
    bool isWanted();

Q_SIGNALS:
    // Another program opened the device while the port is held.
    void wanted();
    // Every other program has closed the device while it was lent.
    void free();

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void guardReadsOf(QSerialPort *port);
    void readEvents();
    void readAllEvents();

    QSerialPort *port = nullptr;
    int inotify = -1;
    QSocketNotifier *notifier = nullptr;
    // Open descriptions of the device that the system has told of, the
    // port's own included while it is held.
    int openers = 1;
    bool held = true;
    bool lent = false;
    bool ownOpenComing = false;
    bool reading = false;
};

// Closes the port and leaves the line as another program that has the
// device set it: Qt's close puts back the line settings it found at open
// (Qt 6 always, Qt 5 unless told not to in a deprecated call), which would
// change a flasher's rate under it.
void closeLeavingLine(QSerialPort *port);

#endif // LENDWATCH_H
