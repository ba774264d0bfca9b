#include "hangupwatch.h"

#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

HangUpWatch::HangUpWatch(QSerialPort *port, QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    descriptor = int(port->handle());
    // An exception notifier wakes on the descriptor's error condition, which
    // a hang-up raises, and leaves the data to Qt's own read notifier.
    notifier = new QSocketNotifier(descriptor, QSocketNotifier::Exception, this);
    connect(notifier, &QSocketNotifier::activated, this, &HangUpWatch::check);
#else
    Q_UNUSED(port)
#endif
}

void HangUpWatch::check()
{
#ifdef Q_OS_UNIX
    pollfd state{descriptor, 0, 0};
    if (::poll(&state, 1, 0) != 1 || !(state.revents & POLLHUP))
        return;
    // Whatever the device sent last is read by Qt first; the condition
    // stays until the port is closed, so this comes back for it.
    int waiting = 0;
    if (::ioctl(descriptor, FIONREAD, &waiting) == 0 && waiting > 0)
        return;
    notifier->setEnabled(false);
    Q_EMIT hungUp();
#endif
}
