#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QByteArray>
#include <QRegularExpression>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <utility>

#ifdef Q_OS_WIN
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#endif

// The master side of a pseudo-terminal pair: the test plays the device on
// the master while the window opens the slave by its path. Under Wine the
// slave is reached as a COM port, and a Unix helper passes the master's bytes
// over a local connection.
class PtyDevice
{
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    bool isValid() const;
    // What the window's Com box takes: /dev/pts/N, or COMn under Wine.
    QString slavePath() const { return path; }

    // Writes all of the bytes as the device, blocking until they are in the pty.
    void send(const QByteArray &bytes);
    // Everything the window has sent so far (reads without blocking).
    QByteArray received();
    // Hangs up, as an unplugged USB adapter does.
    void hangUp();
#ifndef Q_OS_WIN
    // Makes a program the device, its input and output the master side, as
    // a board's shell is; hanging up ends it. `environment` is all it gets.
    bool runBehind(const QStringList &command, const QStringList &environment);
#endif

private:
#ifdef Q_OS_WIN
    QTcpServer server;
    std::unique_ptr<QTcpSocket> master;
#else
    int master = -1;
    qint64 program = -1;
#endif
    QString path;
    QByteArray got;
};

// What QSerialPort::handle() gives: a descriptor, or a Windows HANDLE.
using PortHandle = decltype(std::declval<QSerialPort &>().handle());

#ifndef Q_OS_WIN
inline bool isUnderWine()
{
    return false;
}
#endif

#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
// The rate the system holds for an open port: on Linux the kernel's, both
// ways alike, read with TCGETS2; on Windows the port's DCB. -1 if it cannot
// be read or the two directions differ.
int ttyRate(PortHandle handle);
#define TAVLINO_CAN_READ_RATE
#endif

#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
// The frame the system holds for an open port, written as a manual writes
// it: "8N1", "7E2 RTS/CTS", "8N1 XON/XOFF"; on Linux from its termios (the
// frame the program asked for, kept by the UART stand-in), on Windows from
// its DCB. Empty if it cannot be read.
QString ttyFrame(PortHandle handle);
// Its output lines as the system has them: "DTR RTS", "DTR", "RTS", "".
QString ttyLines(PortHandle handle);
#endif

#ifdef Q_OS_WIN
// Wine's serial layer ignores the completion routine that Qt's Windows
// backend hands to its wait for serial events, so Qt never hears of
// received bytes. Under Wine this makes the wait signal an event instead and
// runs the routine from it; elsewhere it does nothing. Call before the
// first port is opened.
void bridgeWineSerialCompletions();
bool isUnderWine();
#endif

// Collects Qt warnings that a test did not announce, so that, for example,
// an on_<object>_<signal> slot that lost its automatic connection fails the
// test instead of printing a line nobody reads.
namespace WarningGuard {
// Call from initTestCase(): QTest puts its own handler in place when the run
// starts, and this one has to come after it to see every message.
void install();
// Messages matching the pattern are expected and not collected.
void expect(const QString &pattern);
QStringList take();
// Fails the running test if any unexpected warning came since the last call.
void verifyNone();
} // namespace WarningGuard

// Keeps every test off the person's own settings and runtime folders.
void prepareTestEnvironment();

#define TAVLINO_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        prepareTestEnvironment();                                                                  \
        QApplication app(argc, argv);                                                              \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#endif // TESTSUPPORT_H
