#include "reopen.h"

#include "benchsupport.h"

#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Runs the event loop until Open is enabled or disabled, as the window says
// the port closed or opened, with no timer of the benchmark's own running.
class OpenButtonWatch : public QObject
{
public:
    explicit OpenButtonWatch(QPushButton *button) : button(button)
    {
        button->installEventFilter(this);
        // One timer, restarted for every wait: a stale time-out from an
        // earlier wait must not cut a later one short.
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    }
    bool waitUntilEnabled(bool enabled, int timeoutMs)
    {
        if (button->isEnabled() == enabled)
            return true;
        wanted = enabled;
        giveUp.start(timeoutMs);
        loop.exec();
        giveUp.stop();
        return button->isEnabled() == enabled;
    }
    QElapsedTimer clock;
    qint64 changedAtNs = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            changedAtNs = clock.nsecsElapsed();
            if (button->isEnabled() == wanted)
                loop.quit();
        }
        return false;
    }

private:
    QPushButton *button;
    QEventLoop loop;
    QTimer giveUp;
    bool wanted = false;
};

struct Idle {
    double cpu = 0;
    double wakeUpsPerSecond = 0;
};

// The program's CPU and wake-ups over some seconds of running its event loop.
Idle measureIdle(int seconds)
{
    qint64 wakeUps = 0;
    const QMetaObject::Connection counting =
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&wakeUps] { ++wakeUps; });
    const double cpuBefore = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(counting);
    return {cpuSeconds() - cpuBefore, double(wakeUps) / seconds};
}

bool pointLink(const QString &link, const QString &target)
{
    QFile::remove(link);
    return QFile::link(target, link);
}

} // namespace

int runReopen(int waitSeconds, int returns)
{
    Tavlino window;
    window.show();
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("board"));
    QString slave;
    int master = openMaster(&slave);
    if (master < 0 || !pointLink(link, slave))
        return 1;
    auto *com = window.findChild<QComboBox *>(QStringLiteral("input_com"));
    auto *open = window.findChild<QPushButton *>(QStringLiteral("btn_Open"));
    OpenButtonWatch watch(open);
    watch.clock.start();
    // What the window costs with nothing to wait for: the input line's
    // blinking cursor, Qt's own timer.
    const Idle before = measureIdle(waitSeconds);
    com->setEditText(link);
    open->click();
    if (!window.findChild<QSerialPort *>()->isOpen())
        return 1;

    ::close(master);
    if (!watch.waitUntilEnabled(true, 5000))
        return 1;
    const Idle waiting = measureIdle(waitSeconds);

    QList<double> latenciesMs;
    for (int i = 0; i < returns; ++i) {
        master = openMaster(&slave);
        const qint64 appearedNs = watch.clock.nsecsElapsed();
        if (master < 0 || !pointLink(link, slave) || !watch.waitUntilEnabled(false, 5000)) {
            std::printf("the device did not come back\n");
            return 1;
        }
        latenciesMs << (watch.changedAtNs - appearedNs) / 1e6;
        ::close(master);
        if (!watch.waitUntilEnabled(true, 5000))
            return 1;
    }
    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double median = latenciesMs.at(latenciesMs.size() / 2);
    const double worst = latenciesMs.last();
    std::printf("The window with nothing to wait for, %d s: %.3f s of CPU (%.4f %% of one core), "
                "%.1f wake-ups a second\n",
                waitSeconds, before.cpu, 100 * before.cpu / waitSeconds, before.wakeUpsPerSecond);
    std::printf("Waiting for a lost device, %d s: %.3f s of CPU (%.4f %% of one core), %.1f "
                "wake-ups a second\n",
                waitSeconds, waiting.cpu, 100 * waiting.cpu / waitSeconds,
                waiting.wakeUpsPerSecond);
    std::printf(
        "Open again after its name came back (%d returns): median %.2f ms, worst %.2f ms\n\n",
        returns, median, worst);
    // A millisecond a minute is below what getrusage tells apart.
    const double allowed = 0.001 * waitSeconds / 60.0 + 0.001;
    const bool idle = waiting.cpu - before.cpu <= allowed &&
                      waiting.wakeUpsPerSecond <= before.wakeUpsPerSecond + 0.1;
    const bool quick = worst <= 250;
    std::printf("%s waiting costs no measurable CPU: %+.3f s and %+.1f wake-ups a second against "
                "the idle window\n",
                idle ? "met:   " : "MISSED:", waiting.cpu - before.cpu,
                waiting.wakeUpsPerSecond - before.wakeUpsPerSecond);
    std::printf("%s reopened within 250 ms: worst %.2f ms\n", quick ? "met:   " : "MISSED:", worst);
    return idle && quick ? 0 : 1;
}

namespace {

double medianOf(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int runLend(int lends)
{
    Tavlino window;
    window.show();
    QString slave;
    const int master = openMaster(&slave);
    if (master < 0)
        return 1;
    auto *com = window.findChild<QComboBox *>(QStringLiteral("input_com"));
    auto *open = window.findChild<QPushButton *>(QStringLiteral("btn_Open"));
    OpenButtonWatch watch(open);
    watch.clock.start();
    com->setEditText(slave);
    open->click();
    if (!window.findChild<QSerialPort *>()->isOpen())
        return 1;

    // The other program is played here: the system tells the window of an
    // open and a close of the device, not of who made them.
    QList<double> letGoMs;
    QList<double> backMs;
    for (int i = 0; i < lends; ++i) {
        const qint64 openedNs = watch.clock.nsecsElapsed();
        const int other = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (other < 0 || !watch.waitUntilEnabled(true, 5000)) {
            std::printf("the port was not lent\n");
            return 1;
        }
        letGoMs << (watch.changedAtNs - openedNs) / 1e6;
        const qint64 closedNs = watch.clock.nsecsElapsed();
        ::close(other);
        if (!watch.waitUntilEnabled(false, 5000)) {
            std::printf("the port was not taken back\n");
            return 1;
        }
        backMs << (watch.changedAtNs - closedNs) / 1e6;
    }
    ::close(master);
    const double worstBack = *std::max_element(backMs.begin(), backMs.end());
    std::printf("Let go after another program opened the device (%d lends): median %.2f ms, "
                "worst %.2f ms\n",
                lends, medianOf(letGoMs), *std::max_element(letGoMs.begin(), letGoMs.end()));
    std::printf("Open again after it closed the device: median %.2f ms, worst %.2f ms\n\n",
                medianOf(backMs), worstBack);
    const bool quick = worstBack <= 250;
    std::printf("%s taken back within 250 ms: worst %.2f ms\n",
                quick ? "met:   " : "MISSED:", worstBack);
    return quick ? 0 : 1;
}
