/*
 * Makes a pseudo-terminal's slave stand in for a UART's tty, in the test
 * process: linked into the Linux tests, and preloaded into Wine for the
 * Windows ones. A pty's driver differs from a UART's in what it refuses:
 *
 *   frame        A pty forces CS8 and clears PARENB whatever it is asked,
 *                and glibc's tcsetattr then fails with EINVAL. The
 *                character size and parity asked for (tcsetattr, TCSETS2)
 *                are kept for the device and given back by tcgetattr and
 *                TCGETS2; the pty itself gets CS8. Stop bits and flow
 *                control a pty keeps by itself.
 *   modem lines  A pty has none. TIOCMBIS, TIOCMBIC and TIOCMSET are
 *                taken and remembered; TIOCMGET answers with them, and
 *                DSR, CTS and CD up, as a quiet device's would be.
 *   break        TIOCSBRK, TIOCCBRK and TCSBRK are passed on (a pty takes
 *                them and does nothing).
 *
 * Each request on the modem lines and each break is written down for the
 * device, so that a test can see what the program asked of the wires.
 *
 * Wine's serial layer also asks for the line status and the interrupt
 * counters, which a pty refuses with ENOTTY; Wine then ends every wait for
 * a serial event at once, and a program never hears of received bytes. For
 * those this answers as a quiet UART would: TIOCSERGETLSR transmitter empty,
 * TIOCGICOUNT no line events and rx the bytes seen waiting.
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "ptyuart.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

/* The kernel's struct termios2 (<asm/termbits.h>, which clashes with
 * <termios.h>), for the arbitrary rates Qt sets through TCSETS2. */
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
#define TCGETS2 _IOR('T', 0x2A, struct termios2)
#define TCSETS2 _IOW('T', 0x2B, struct termios2)
#define TCSETSW2 _IOW('T', 0x2C, struct termios2)
#define TCSETSF2 _IOW('T', 0x2D, struct termios2)

/* The pty slaves' majors: UNIX98_PTY_SLAVE_MAJOR and the seven after it. */
enum { firstSlaveMajor = 136, lastSlaveMajor = 143 };
enum { frameBits = CSIZE | PARENB | PARODD | CMSPAR };

struct device {
    dev_t id;
    int inUse;
    int frameKept;
    tcflag_t frame;
    int lines;
    char requests[4096];
};

static struct device devices[64];
static int refusingFrames;

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcgetattr_fn)(int, struct termios *);
typedef int (*tcsetattr_fn)(int, int, const struct termios *);

static int real_ioctl(int fd, unsigned long request, void *arg)
{
    static ioctl_fn next;
    if (!next)
        next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return next(fd, request, arg);
}

static struct device *deviceOf(int fd)
{
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) ||
        major(status.st_rdev) < firstSlaveMajor || major(status.st_rdev) > lastSlaveMajor)
        return NULL;
    struct device *free = NULL;
    for (size_t i = 0; i < sizeof devices / sizeof devices[0]; ++i) {
        if (devices[i].inUse && devices[i].id == status.st_rdev)
            return &devices[i];
        if (!devices[i].inUse && !free)
            free = &devices[i];
    }
    if (!free)
        return NULL;
    memset(free, 0, sizeof *free);
    free->inUse = 1;
    free->id = status.st_rdev;
    /* What the kernel raises when a tty opens. */
    free->lines = TIOCM_DTR | TIOCM_RTS;
    return free;
}

static void note(struct device *device, const char *request)
{
    const size_t used = strlen(device->requests);
    snprintf(device->requests + used, sizeof device->requests - used, "%s%s", used ? " " : "",
             request);
}

/* Each wire a request names, as it asks for it: a TIOCMSET names both. */
static void noteRequest(struct device *device, unsigned long request, int wires)
{
    static const struct {
        int line;
        const char *up, *down;
    } names[] = {{TIOCM_DTR, "DTR+", "DTR-"}, {TIOCM_RTS, "RTS+", "RTS-"}};
    for (size_t i = 0; i < 2; ++i) {
        if (request == TIOCMSET || (wires & names[i].line))
            note(device, (request == TIOCMBIC || (request == TIOCMSET && !(wires & names[i].line)))
                             ? names[i].down
                             : names[i].up);
    }
}

/* The frame asked for is the device's, and the pty gets CS8 without parity;
 * or, refusing, the device fails any other frame as a UART that cannot make
 * it does (the pty itself would take it and quietly make it 8N). */
static int keepFrame(struct device *device, tcflag_t *cflag)
{
    if (!device)
        return 0;
    if (refusingFrames) {
        if ((*cflag & frameBits) == CS8)
            return 0;
        errno = EINVAL;
        return -1;
    }
    device->frame = *cflag & frameBits;
    device->frameKept = 1;
    *cflag = (*cflag & ~frameBits) | CS8;
    return 0;
}

static void giveFrame(int fd, tcflag_t *cflag)
{
    struct device *device = deviceOf(fd);
    if (device && device->frameKept)
        *cflag = (*cflag & ~frameBits) | device->frame;
}

static int modemRequest(struct device *device, unsigned long request, const int *arg)
{
    const int wires = *arg & (TIOCM_DTR | TIOCM_RTS);
    if (request == TIOCMBIS)
        device->lines |= wires;
    else if (request == TIOCMBIC)
        device->lines &= ~wires;
    else
        device->lines = wires;
    noteRequest(device, request, wires);
    return 0;
}

/* Bytes seen waiting on each descriptor, so that rx only ever grows. */
static unsigned long received[1024];
static int waiting[1024];

static int answerForWine(int fd, unsigned long request, void *arg)
{
    switch (request) {
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
    struct device *device = NULL;
    switch (request) {
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET:
        if ((device = deviceOf(fd)))
            return modemRequest(device, request, arg);
        break;
    case TIOCMGET:
        if ((device = deviceOf(fd))) {
            *(int *)arg = device->lines | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
            return 0;
        }
        break;
    case TIOCSBRK:
    case TIOCCBRK:
    case TCSBRK:
        if ((device = deviceOf(fd)))
            note(device, request == TIOCSBRK ? "BRK+" : request == TIOCCBRK ? "BRK-" : "BRK");
        break;
    case TCSETS2:
    case TCSETSW2:
    case TCSETSF2: {
        struct termios2 settings = *(const struct termios2 *)arg;
        if (keepFrame(deviceOf(fd), &settings.c_cflag) != 0)
            return -1;
        return real_ioctl(fd, request, &settings);
    }
    case TCGETS2: {
        const int result = real_ioctl(fd, request, arg);
        if (result == 0)
            giveFrame(fd, &((struct termios2 *)arg)->c_cflag);
        return result;
    }
    default:
        break;
    }
    const int result = real_ioctl(fd, request, arg);
    if (result == -1 && errno == ENOTTY && isatty(fd))
        return answerForWine(fd, request, arg);
    return result;
}

int tcsetattr(int fd, int when, const struct termios *settings)
{
    static tcsetattr_fn next;
    if (!next)
        next = (tcsetattr_fn)dlsym(RTLD_NEXT, "tcsetattr");
    struct termios copy = *settings;
    if (keepFrame(deviceOf(fd), &copy.c_cflag) != 0)
        return -1;
    return next(fd, when, &copy);
}

int tcgetattr(int fd, struct termios *settings)
{
    static tcgetattr_fn next;
    if (!next)
        next = (tcgetattr_fn)dlsym(RTLD_NEXT, "tcgetattr");
    const int result = next(fd, settings);
    if (result == 0)
        giveFrame(fd, &settings->c_cflag);
    return result;
}

const char *ptyuart_requests(int fd)
{
    struct device *device = deviceOf(fd);
    return device ? device->requests : "";
}

void ptyuart_forget(void)
{
    for (size_t i = 0; i < sizeof devices / sizeof devices[0]; ++i)
        devices[i].requests[0] = '\0';
}

void ptyuart_refuse_frames(int refuse)
{
    refusingFrames = refuse;
}
