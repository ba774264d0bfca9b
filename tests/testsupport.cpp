#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <utility>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#ifdef Q_OS_LINUX
// The kernel's termios2, which glibc's <termios.h> would clash with.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

bool PtyDevice::isValid() const
{
    return master >= 0;
}

PtyDevice::PtyDevice()
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        ::close(master);
        master = -1;
        return;
    }
    path = QString::fromLocal8Bit(ptsname(master));
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyDevice::~PtyDevice()
{
    hangUp();
}

void PtyDevice::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            QFAIL("writing to the pty master failed");
        else
            QCoreApplication::processEvents();
    }
}

QByteArray PtyDevice::received()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, int(n));
    }
    return got;
}

#ifdef Q_OS_LINUX
QString ttyFrame(PortHandle handle)
{
    termios2 settings{};
    if (::ioctl(handle, TCGETS2, &settings) != 0)
        return QString();
    const tcflag_t c = settings.c_cflag;
    const int dataBits = (c & CSIZE) == CS5   ? 5
                         : (c & CSIZE) == CS6 ? 6
                         : (c & CSIZE) == CS7 ? 7
                                              : 8;
    const char *parity = !(c & PARENB)  ? "N"
                         : (c & CMSPAR) ? ((c & PARODD) ? "M" : "S")
                                        : ((c & PARODD) ? "O" : "E");
    QString frame =
        QString::number(dataBits) + QLatin1String(parity) + QLatin1String((c & CSTOPB) ? "2" : "1");
    if (c & CRTSCTS)
        frame += QStringLiteral(" RTS/CTS");
    if ((settings.c_iflag & IXON) && (settings.c_iflag & IXOFF))
        frame += QStringLiteral(" XON/XOFF");
    return frame;
}

QString ttyLines(PortHandle handle)
{
    int lines = 0;
    if (::ioctl(handle, TIOCMGET, &lines) != 0)
        return QStringLiteral("unreadable");
    QStringList up;
    if (lines & TIOCM_DTR)
        up << QStringLiteral("DTR");
    if (lines & TIOCM_RTS)
        up << QStringLiteral("RTS");
    return up.join(QLatin1Char(' '));
}

int ttyRate(PortHandle handle)
{
    termios2 settings{};
    if (::ioctl(handle, TCGETS2, &settings) != 0 || settings.c_ispeed != settings.c_ospeed)
        return -1;
    return int(settings.c_ospeed);
}
#endif

bool PtyDevice::runBehind(const QStringList &command, const QStringList &environment)
{
    // Everything the child needs is made before it exists.
    QList<QByteArray> words;
    for (const QString &word : command + environment)
        words << word.toLocal8Bit();
    std::vector<char *> argv, envp;
    for (int i = 0; i < words.size(); ++i)
        (i < command.size() ? argv : envp).push_back(words[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        for (int fd = 0; fd < 3; ++fd)
            dup2(master, fd);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    program = pid;
    return pid > 0;
}

void PtyDevice::hangUp()
{
    if (program > 0) {
        ::kill(pid_t(program), SIGKILL);
        ::waitpid(pid_t(program), nullptr, 0);
        program = -1;
    }
    if (master >= 0)
        ::close(master);
    master = -1;
}
#endif

namespace {
QtMessageHandler previousHandler = nullptr;
QStringList unexpected;
QStringList expected;

bool isExpected(const QString &message)
{
    for (const QString &pattern : std::as_const(expected)) {
        if (QRegularExpression(pattern).match(message).hasMatch())
            return true;
    }
    return false;
}

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && !isExpected(message))
        unexpected.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

void WarningGuard::install()
{
    if (previousHandler)
        return;
    // The offscreen platform cannot honour size hints and says so once per
    // window; that is the platform talking, not the program.
    expected << QStringLiteral("^This plugin does not support propagateSizeHints\\(\\)$");
    previousHandler = qInstallMessageHandler(collect);
}

void WarningGuard::expect(const QString &pattern)
{
    expected << pattern;
}

QStringList WarningGuard::take()
{
    QStringList all;
    all.swap(unexpected);
    return all;
}

void WarningGuard::verifyNone()
{
    const QStringList warnings = take();
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
}

void prepareTestEnvironment()
{
#ifdef Q_OS_WIN
    bridgeWineSerialCompletions();
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The file dialogs are Qt's own on every platform, so that a test can
    // answer them through their widgets: a desktop's own dialog (GTK's on
    // X11, Windows' under Wine) is not Qt's to drive.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Lives until the process ends: QSettings keeps the path it saw first.
    static QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/config");
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("TAVLINO_KEEP_CONFIG_HOME"))
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
}
