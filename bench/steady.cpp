#include "steady.h"

#include "benchsupport.h"
#include "linestamps.h"
#include "receivedecoder.h"
#include "workloads.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int pieceSize = 64;

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The device writes piece i at start + i * period, by the clock both
// processes share, so the window can tell how long any byte waited.
struct SteadyDevice {
    pid_t pid = -1;
    int go = -1;
    qint64 expectedChars = -1;
    QByteArray expectedHash;
    qint64 periodNs = 0;
    qint64 startNs = 0;

    void start(qint64 atNs)
    {
        startNs = atNs;
        if (::write(go, &atNs, sizeof atNs) != sizeof atNs)
            std::perror("device");
        ::close(go);
    }
    void finish() const { waitpid(pid, nullptr, 0); }
    qint64 writtenAtNs(qint64 byte) const { return startNs + byte / pieceSize * periodNs; }
};

[[noreturn]] void feed(int master, const QByteArray &data, qint64 periodNs, int goFd)
{
    qint64 startNs = 0;
    if (!readAll(goFd, reinterpret_cast<char *>(&startNs), sizeof startNs))
        _exit(1);
    for (qint64 done = 0, i = 0; done < data.size(); ++i) {
        const qint64 at = startNs + i * periodNs;
        const timespec when{time_t(at / 1000000000), long(at % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
        }
        const qint64 end = qMin<qint64>(done + pieceSize, data.size());
        while (done < end) {
            const ssize_t n = ::write(master, data.constData() + done, size_t(end - done));
            if (n > 0)
                done += n;
            else if (errno != EINTR)
                _exit(1);
        }
    }
    _exit(0);
}

SteadyDevice startSteadyDevice(int master, const Workload &workload, int bytesPerSecond,
                               int seconds)
{
    int toWindow[2], toDevice[2];
    if (pipe(toWindow) != 0 || pipe(toDevice) != 0)
        return {};
    SteadyDevice device;
    device.periodNs = qint64(pieceSize) * 1000000000 / bytesPerSecond;
    device.pid = fork();
    if (device.pid == 0) {
        const QByteArray data = makeData(workload, qint64(bytesPerSecond) * seconds);
        if (!tellExpected(toWindow[1], data))
            _exit(1);
        feed(master, data, device.periodNs, toDevice[0]);
    }
    ::close(toWindow[1]);
    ::close(toDevice[0]);
    device.go = toDevice[1];
    hearExpected(toWindow[0], &device.expectedChars, &device.expectedHash);
    return device;
}

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The longest pass of the event loop: the thread's CPU time from going to
// sleep until it goes to sleep again, which is the work of one wake-up. (Qt's
// GLib dispatcher signals waking up only after it has dispatched, so the
// wall time between the two signals says nothing.) Unlike a probing timer,
// it wakes nothing up and costs nothing while the program is idle.
class PassWatch
{
public:
    PassWatch()
    {
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [this] {
                             const qint64 now = threadCpuNs();
                             longestNs = qMax(longestNs, now - last);
                             last = now;
                             ++count;
                         });
    }
    qint64 longestNs = 0;
    // Each pass ends in a poll of its own, so this is how often the
    // program woke up.
    qint64 count = 0;

private:
    qint64 last = threadCpuNs();
};

// For each character the pane shows, the byte of the device's data that
// brought it.
QVector<qint64> bytesOfCharacters(const Workload &workload, qint64 bytes)
{
    const QByteArray data = makeData(workload, bytes);
    QVector<qint64> byteOf;
    byteOf.reserve(int(bytes));
    ReceiveDecoder decoder;
    // A line's stamp is shown with its first character.
    bool atLineStart = true;
    for (qint64 at = 0; at < data.size(); ++at) {
        const QString shown = decoder.decode(data.mid(int(at), 1)).text;
        for (const QChar c : shown) {
            for (int i = 0; atLineStart && withStamps() && i < LineStamps::stampLength; ++i)
                byteOf.append(at);
            byteOf.append(at);
            atLineStart = c == u'\n';
        }
    }
    return byteOf;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct SteadyRow {
    double cpuPercent = 0, updatesPerSecond = 0, passMs = 0, lagMs = 0, idlePercent = 0;
    bool intact = false;
    double passesPerSecond = 0;
};

} // namespace

namespace {

// The byte a character of a hex dump shows: 66 characters for every 16
// bytes, three for each in the hex column, one in the characters'.
qint64 hexByteOf(qint64 character)
{
    const qint64 line = character / 66;
    const qint64 column = character % 66;
    return line * 16 + (column < 48 ? column / 3 : qMin<qint64>(15, qMax<qint64>(0, column - 49)));
}

} // namespace

int runSteadyCase(int bytesPerSecond, int seconds, int width, int height, int quietSeconds,
                  const QByteArray &workload)
{
    OpenWindow open;
    if (width > 0)
        open.window.resize(width, height);
    // The first layout and paint of the window are not what a long session
    // costs.
    runEventLoopFor(300);
    const Workload *sent = findWorkload(workload);
    if (!sent)
        return 2;
    SteadyDevice device = startSteadyDevice(open.master, *sent, bytesPerSecond, seconds);
    if (device.expectedChars < 0)
        return 1;
    QTextDocument *document = open.output->document();
    // Each update's oldest character and when it was shown: which byte that
    // was is worked out after the run, as escape codes are bytes that show
    // no character.
    struct Update {
        qint64 oldest, shownNs;
    };
    QVector<Update> shownAt;
    shownAt.reserve(seconds * 100);
    QEventLoop loop;
    QObject::connect(document, &QTextDocument::contentsChange, [&](int, int, int added) {
        const qint64 shown = document->characterCount() - 1;
        // The oldest character this update brought waited the longest.
        const qint64 oldest = shown - added;
        if (oldest >= device.expectedChars)
            return;
        shownAt.append({qMax<qint64>(0, oldest), monotonicNs()});
        if (shown >= device.expectedChars)
            loop.quit();
    });
    PassWatch passes;
    const double cpuBefore = cpuSeconds();
    const qint64 startNs = monotonicNs() + 50000000;
    device.start(startNs);
    QTimer::singleShot((seconds + 60) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 endNs = monotonicNs();
    const double cpu = cpuSeconds() - cpuBefore;
    // Before the checks below, whose pass is not the feed's.
    const qint64 longestPassNs = passes.longestNs;
    const qint64 passCount = passes.count;
    const double wall = (endNs - startNs) / 1e9;
    const bool intact = open.holds(device.expectedChars, device.expectedHash);
    device.finish();
    // With the port open and the device silent, nothing should run at all.
    const double idleBefore = cpuSeconds();
    runEventLoopFor(quietSeconds * 1000);
    const double idle = cpuSeconds() - idleBefore;
    const QVector<qint64> byteOf = bytesOfCharacters(*sent, qint64(bytesPerSecond) * seconds);
    qint64 worstLagNs = 0;
    for (const Update &update : std::as_const(shownAt)) {
        const qint64 byte = withHex()                       ? hexByteOf(update.oldest)
                            : update.oldest < byteOf.size() ? byteOf.at(int(update.oldest))
                                                            : 0;
        worstLagNs = qMax(worstLagNs, update.shownNs - device.writtenAtNs(byte));
    }
    const qint64 updates = shownAt.size();
    std::printf("%.2f %.2f %.1f %.1f %.3f %d %lld %.1f\n", 100 * cpu / wall, updates / wall,
                longestPassNs / 1e6, worstLagNs / 1e6,
                quietSeconds > 0 ? 100 * idle / quietSeconds : 0.0, int(intact), endNs / 1000000,
                passCount / wall);
    return intact ? 0 : 1;
}

int runSteadyTable(int seconds, int runs)
{
    std::printf("Steady feed in 64-byte writes, %d s a run, median of %d runs (worst pass and lag "
                "of any), platform %s%s%s:\n\n",
                seconds, runs, qPrintable(QGuiApplication::platformName()),
                withStamps() ? ", timestamps on" : "", withLog() ? ", a log on disk" : "");
    std::printf("| feed | B/s | window | CPU %% of one core | updates/s | longest pass ms | "
                "worst lag ms | CPU %% silent after | every byte | wake-ups/s |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---:|---|---:|\n");
    struct Case {
        const char *workload;
        int rate, width, height;
        const char *window;
    };
    // Log lines with and without colours at the higher rate, as a board
    // logging at 921,600 baud sends them.
    const Case cases[] = {
        {"lines", 11520, 1000, 900, "1000×900"}, {"lines", 11520, 0, 0, "default"},
        {"lines", 92160, 1000, 900, "1000×900"}, {"lines", 92160, 0, 0, "default"},
        {"esp", 92160, 1000, 900, "1000×900"},   {"espcolour", 92160, 1000, 900, "1000×900"},
    };
    bool allIntact = true;
    for (const Case &one : cases) {
        QList<SteadyRow> rows;
        for (int run = 0; run < runs; ++run) {
            const QByteArrayList m = runChild(
                {QStringLiteral("--steady-case"), QString::number(one.rate),
                 QString::number(seconds), QString::number(one.width), QString::number(one.height),
                 QStringLiteral("2"), QLatin1String(one.workload)});
            if (m.size() != 8) {
                std::printf("%s at %d B/s: the measurement failed\n", one.workload, one.rate);
                return 1;
            }
            rows.append({m[0].toDouble(), m[1].toDouble(), m[2].toDouble(), m[3].toDouble(),
                         m[4].toDouble(), m[5] == "1", m[7].toDouble()});
        }
        std::sort(rows.begin(), rows.end(), [](const SteadyRow &a, const SteadyRow &b) {
            return a.cpuPercent < b.cpuPercent;
        });
        SteadyRow row = rows.at(runs / 2);
        for (const SteadyRow &r : rows) {
            row.passMs = qMax(row.passMs, r.passMs);
            row.lagMs = qMax(row.lagMs, r.lagMs);
            row.idlePercent = qMax(row.idlePercent, r.idlePercent);
            row.intact = row.intact && r.intact;
        }
        allIntact = allIntact && row.intact;
        std::printf("| %s | %d | %s | %.1f (%.1f–%.1f) | %.1f | %.1f | %.1f | %.2f | %s | %.0f |\n",
                    findWorkload(one.workload)->label, one.rate, one.window, row.cpuPercent,
                    rows.first().cpuPercent, rows.last().cpuPercent, row.updatesPerSecond,
                    row.passMs, row.lagMs, row.idlePercent, row.intact ? "yes" : "NO",
                    row.passesPerSecond);
        std::fflush(stdout);
    }
    return allIntact ? 0 : 1;
}
