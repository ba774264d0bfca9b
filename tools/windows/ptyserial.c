/*
 * LD_PRELOAD shim for Wine: lets a pseudo-terminal stand in for a serial
 * port. Wine's serial layer asks the device for its modem lines, its line
 * status and its interrupt counters; a pty refuses all of these with ENOTTY,
 * and Wine then ends every wait for a serial event at once, so a program
 * never hears of received bytes. For a terminal that refuses them, this
 * answers as a quiet UART with its modem lines up would:
 *   TIOCMGET       DSR, CTS, CD, DTR and RTS set
 *   TIOCMBIS/BIC/SET  accepted
 *   TIOCSERGETLSR  transmitter empty
 *   TIOCGICOUNT    no line events; rx counts the bytes seen waiting
 * Used only by the test harness, never by the program.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int real_ioctl(int fd, unsigned long request, void *arg)
{
    static ioctl_fn next;
    if (!next)
        next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return next(fd, request, arg);
}

/* Bytes seen waiting on each descriptor, so that rx only ever grows. */
static unsigned long received[1024];
static int waiting[1024];

static int answer(int fd, unsigned long request, void *arg)
{
    switch (request) {
    case TIOCMGET:
        *(int *)arg = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;
        return 0;
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET:
        return 0;
    case TIOCSERGETLSR:
        *(unsigned int *)arg = TIOCSER_TEMT;
        return 0;
    case TIOCGICOUNT: {
        struct serial_icounter_struct *count = arg;
        int queued = 0;
        memset(count, 0, sizeof *count);
        if (real_ioctl(fd, FIONREAD, &queued) == 0 && fd >= 0 && fd < 1024) {
            if (queued > waiting[fd])
                received[fd] += (unsigned long)(queued - waiting[fd]);
            waiting[fd] = queued;
            count->rx = (int)received[fd];
        }
        return 0;
    }
    default:
        errno = ENOTTY;
        return -1;
    }
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list list;
    va_start(list, request);
    void *arg = va_arg(list, void *);
    va_end(list);
    const int result = real_ioctl(fd, request, arg);
    if (result == -1 && errno == ENOTTY && isatty(fd))
        return answer(fd, request, arg);
    return result;
}
