#include "lendwatch.h"

#include "hangupwatch.h"

#include <QEvent>
#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>
#endif

LendWatch::LendWatch(QSerialPort *port, QObject *parent) : QObject(parent), port(port)
{
#ifdef Q_OS_LINUX
    const int descriptor = int(port->handle());
    inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0)
        return;
    // The node of the open descriptor itself, whichever name or link led to
    // it: every other name of the device is the same inode.
    const QByteArray node = "/proc/self/fd/" + QByteArray::number(descriptor);
    if (::inotify_add_watch(inotify, node.constData(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(inotify);
        inotify = -1;
        return;
    }
    // Another program may now open it too; what it reads is its own, as no
    // byte is read here while it has the device.
    ::ioctl(descriptor, TIOCNXCL);
    notifier = new QSocketNotifier(inotify, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &LendWatch::readEvents);
    guardReadsOf(port);
#else
    Q_UNUSED(port)
#endif
}

LendWatch::~LendWatch()
{
#ifdef Q_OS_LINUX
    delete notifier;
    if (inotify >= 0)
        ::close(inotify);
#endif
}

void LendWatch::takenBack()
{
    held = true;
    lent = false;
    // The port's own open is yet to be told of.
    ownOpenComing = true;
    guardReadsOf(port);
}

// Qt reads the device as soon as its notifier says there are bytes, before
// the window hears of them. Both notifiers may wake in the same pass of the
// event loop, the read one first: it looks at the system's news of opens
// before Qt takes a byte.
void LendWatch::guardReadsOf(QSerialPort *port)
{
    if (QSocketNotifier *reads = readNotifierOf(*port))
        reads->installEventFilter(this);
}

bool LendWatch::eventFilter(QObject *, QEvent *event)
{
    return event->type() == QEvent::SockAct && isWanted();
}

bool LendWatch::isWanted()
{
    readEvents();
    return lent;
}

void LendWatch::readEvents()
{
#ifdef Q_OS_LINUX
    // The window, told of an open, may ask again while it lets go: what is
    // read then waits until the news before it has been told, in order.
    if (reading)
        return;
    reading = true;
    readAllEvents();
    reading = false;
#endif
}

void LendWatch::readAllEvents()
{
#ifdef Q_OS_LINUX
    // Events of a watched file carry no name: each is one inotify_event.
    alignas(inotify_event) char buffer[64 * sizeof(inotify_event)];
    for (;;) {
        const ssize_t got = ::read(inotify, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_OPEN) {
                ++openers;
                ownOpenComing = false;
            }
            if (event->mask & IN_CLOSE)
                --openers;
            // Someone who had the device before the port was opened, and
            // has closed it since, was never counted.
            openers = qMax(openers, held && !ownOpenComing ? 1 : 0);
            if (held && openers > 1) {
                held = false;
                lent = true;
                Q_EMIT wanted();
            } else if (lent && openers == 0) {
                lent = false;
                Q_EMIT free();
            }
        }
    }
#endif
}

void closeLeavingLine(QSerialPort *port)
{
#ifdef Q_OS_LINUX
    // Qt then sets and closes /dev/null under the descriptor's number; the
    // device itself is closed here, untouched.
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, int(port->handle()));
        ::close(nothing);
    }
#endif
    port->close();
}
