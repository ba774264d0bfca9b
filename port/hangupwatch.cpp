#include "hangupwatch.h"

#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

int bytesInDriver(const QSerialPort &port)
{
    int waiting = 0;
#ifdef Q_OS_UNIX
    if (::ioctl(int(port.handle()), FIONREAD, &waiting) != 0)
        waiting = 0;
#else
    Q_UNUSED(port)
#endif
    return waiting;
}

QSocketNotifier *readNotifierOf(const QSerialPort &port)
{
    // On Unix, Qt's port owns it, as long as the port is open.
    const auto notifiers =
        port.findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            return notifier;
    }
    return nullptr;
}

HangUpWatch::HangUpWatch(QSerialPort *port, QObject *parent) : QObject(parent), port(port)
{
#ifdef Q_OS_UNIX
    // An exception notifier wakes on the descriptor's error condition, which
    // a hang-up raises, and leaves the data to Qt's own read notifier.
    notifier = new QSocketNotifier(int(port->handle()), QSocketNotifier::Exception, this);
    connect(notifier, &QSocketNotifier::activated, this, &HangUpWatch::check);
#endif
}

void HangUpWatch::check()
{
#ifdef Q_OS_UNIX
    pollfd state{int(port->handle()), 0, 0};
    if (::poll(&state, 1, 0) != 1 || !(state.revents & POLLHUP))
        return;
    // Whatever the device sent last is read by Qt first; the condition
    // stays until the port is closed, so this comes back for it.
    if (bytesInDriver(*port) > 0)
        return;
    notifier->setEnabled(false);
    Q_EMIT hungUp();
#endif
}
