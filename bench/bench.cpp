// Receive-path benchmark: a real pseudo-terminal plays a device that streams
// into the real window, and the table says how fast the pane shows it, what
// it cost the program in CPU time, how long the event loop ever stalled, and
// what it cost in memory; a last row says how soon a short reply after a
// quiet spell is in the pane.
//
//   tavlino_bench                 the full table (1, 4, 16 and 64 MiB)
//   tavlino_bench --sizes 1,4     chosen sizes in MiB
//   tavlino_bench --long          and 256 MiB of lines
//   tavlino_bench --smoke         tiny sizes; checks only that every byte arrived
//   tavlino_bench --steady        a device talking steadily, at 11,520 and
//                                 92,160 bytes a second [--seconds 20] [--runs 3]
//   tavlino_bench --save          Save Output As of a 64 MiB session [--mib 64]
//   tavlino_bench --find          finding in a 64 MiB session [--mib 64]
//   tavlino_bench --zoom          scrolling and resizing it, normal and largest
//   tavlino_bench ... --with stamps|log|find|hex[,...]
//                                 the same with timestamps on, a log on disk
//                                 (the workloads with line ends), the find
//                                 bar counting as text arrives, or in hex
//
// Each measurement runs in a fresh child process so that one run's heap
// does not weigh on the next one's memory figures, and that process does
// nothing but run the window as the program does: the device, in a process
// of its own, makes the data and works out what the pane must show.

#include "application.h"
#include "benchsupport.h"
#include "copy.h"
#include "find.h"
#include "receivedecoder.h"
#include "reopen.h"
#include "steady.h"
#include "workloads.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

#ifdef __OPTIMIZE__
constexpr bool optimised = true;
#else
constexpr bool optimised = false;
#endif

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// The device: a child process that makes the data, works out what the pane
// must then show, tells the window's process how many characters that is
// and their hash, waits for the go and writes the data in pieces, as fast
// as the pty takes them. Nothing of it touches the measured process's heap.
struct Device {
    pid_t pid = -1;
    qint64 expectedChars = 0;
    QByteArray expectedHash;
    int go = -1;

    void start() const
    {
        if (::write(go, "g", 1) != 1)
            std::perror("device");
        ::close(go);
    }
    void finish() const { waitpid(pid, nullptr, 0); }
};

Device startDevice(int master, const Workload &workload, qint64 bytes)
{
    int toWindow[2], toDevice[2];
    if (pipe(toWindow) != 0 || pipe(toDevice) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const QByteArray data = makeData(workload, bytes);
        if (!tellExpected(toWindow[1], data))
            _exit(1);
        char go = 0;
        if (!readAll(toDevice[0], &go, 1))
            _exit(1);
        qint64 done = 0;
        while (done < data.size()) {
            const size_t piece = size_t(qMin<qint64>(workload.pieceSize, data.size() - done));
            const ssize_t n = ::write(master, data.constData() + done, piece);
            if (n > 0)
                done += n;
            else if (errno != EINTR)
                _exit(1);
        }
        _exit(0);
    }
    ::close(toWindow[1]);
    ::close(toDevice[0]);
    Device device;
    device.pid = pid;
    device.go = toDevice[1];
    hearExpected(toWindow[0], &device.expectedChars, &device.expectedHash);
    return device;
}

// Runs a 5 ms timer while data pours in and remembers how late it ever fired.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        clock.start();
        timer.start();
    }
    qint64 worstLatenessMs() const { return worst; }
    std::function<void()> onTick;

private:
    void tick()
    {
        const qint64 now = clock.elapsed();
        worst = qMax(worst, now - last - 5);
        last = now;
        if (onTick)
            onTick();
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
};

struct Result {
    double seconds = 0;
    qint64 stallMs = 0;
    qint64 peakGrowthKiB = 0;
    qint64 shownChars = 0;
    bool intact = false;
    // The program's own, not the device's: the device is another process.
    double cpuSeconds = 0;
    qint64 reads = 0;
};

// Runs the event loop until the pane holds `chars` characters, the final
// paragraph separator included, or ten minutes have passed.
void showUntil(QPlainTextEdit *output, qint64 chars, StallProbe &probe)
{
    QEventLoop loop;
    probe.onTick = [&] {
        if (output->document()->characterCount() >= chars)
            loop.quit();
    };
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    probe.onTick = nullptr;
}

void receiveAndClear(OpenWindow &open, const Workload &workload, qint64 bytes)
{
    const Device device = startDevice(open.master, workload, bytes);
    StallProbe probe;
    device.start();
    showUntil(open.output, device.expectedChars + 1, probe);
    device.finish();
    open.window.findChild<QPushButton *>(QStringLiteral("btn_clear"))->click();
    open.cleared = true;
    QCoreApplication::processEvents();
}

Result measureWindow(const Workload &workload, qint64 bytes)
{
    OpenWindow open;
    if (workload.clearedFirst)
        receiveAndClear(open, workload, bytes / 2);
    QPlainTextEdit *output = open.output;
    Result result;
    QObject::connect(open.port, &QSerialPort::readyRead, [&result] { ++result.reads; });
    const Device device = startDevice(open.master, workload, bytes);
    if (device.expectedChars < 0)
        return result;
    resetPeakMemory();
    const qint64 before = statusKiB("VmRSS:");
    QElapsedTimer clock;
    StallProbe probe;
    const double cpuBefore = cpuSeconds();
    clock.start();
    device.start();
    // The document holds one more character than is shown: the final
    // paragraph separator.
    showUntil(output, device.expectedChars + 1, probe);
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.cpuSeconds = cpuSeconds() - cpuBefore;
    result.stallMs = probe.worstLatenessMs();
    result.peakGrowthKiB = statusKiB("VmHWM:") - before;
    result.shownChars = output->document()->characterCount() - 1;
    result.intact = open.holds(device.expectedChars, device.expectedHash);
    device.finish();
    return result;
}

// A short reply after 100 ms of quiet, a hundred times: the time from the
// device's write until the pane holds the reply, in milliseconds.
QList<double> measureLatency()
{
    OpenWindow open;
    QList<double> ms;
    QElapsedTimer clock;
    QEventLoop loop;
    qint64 target = 0;
    QObject::connect(open.output->document(), &QTextDocument::contentsChanged, [&] {
        if (open.output->document()->characterCount() >= target) {
            ms << clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    });
    // One timer each, restarted every time: a stale time-out from an earlier
    // reply must not cut a quiet spell short.
    QTimer quiet;
    quiet.setSingleShot(true);
    QObject::connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (int i = 0; i < 100; ++i) {
        quiet.start(100);
        loop.exec();
        const QByteArray reply = "OK " + QByteArray::number(i) + "\r\n";
        target = open.output->document()->characterCount() + reply.size() - 1;
        giveUp.start(5000);
        clock.start();
        if (::write(open.master, reply.constData(), size_t(reply.size())) != reply.size())
            return {};
        loop.exec();
        giveUp.stop();
    }
    return ms;
}

// The floor: the same text put into a shown, bare QPlainTextEdit at once.
double measureFloor(const Workload &workload, qint64 bytes)
{
    ReceiveDecoder decoder;
    const QString text = decoder.decode(makeData(workload, bytes)).text;
    QPlainTextEdit edit;
    edit.resize(520, 180);
    edit.setReadOnly(true);
    edit.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    edit.insertPlainText(text);
    edit.repaint();
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e9;
}

int runLatency()
{
    QList<double> ms = measureLatency();
    if (ms.size() != 100)
        return 1;
    std::sort(ms.begin(), ms.end());
    std::printf("%.3f %.3f\n", (ms[49] + ms[50]) / 2, ms.last());
    return 0;
}

int runCase(const QByteArray &name, qint64 bytes, bool floor)
{
    const Workload *workload = findWorkload(name);
    if (!workload)
        return 2;
    if (floor) {
        std::printf("%.4f\n", measureFloor(*workload, bytes));
        return 0;
    }
    const Result r = measureWindow(*workload, bytes);
    std::printf("%.4f %lld %lld %lld %d %.4f %lld\n", r.seconds, r.stallMs, r.peakGrowthKiB,
                r.shownChars, int(r.intact), r.cpuSeconds, r.reads);
    return r.intact ? 0 : 1;
}

// Above these the floor is left out: it is only there to compare with, and
// the bare widget takes text without line breaks as one paragraph, which
// takes minutes.
constexpr qint64 largestFloor = 16 * 1048576;
constexpr qint64 largestUnbrokenFloor = 4 * 1048576;

// The long row: only when asked for, as it takes a while and 2 GiB.
constexpr qint64 longSize = 256 * 1048576;

int runTable(const QList<qint64> &sizes, bool smoke, bool withLong)
{
    struct Row {
        QByteArray workload;
        qint64 bytes;
        double seconds, floor;
        qint64 stall, kib, chars;
        bool intact;
        double cpu;
        qint64 reads;
    };
    QList<Row> rows;
    bool allIntact = true;
    if (!smoke) {
        std::printf(
            "| workload | MiB | shown in s | MiB/s | CPU s/MiB | CPU µs/read | reads "
            "| longest stall ms | peak RSS growth MiB | bytes/char | floor s | of floor |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    }
    // Small runs are over in a few frames and vary the most, so they are
    // repeated more; the table shows the median run.
    const auto repeatsFor = [smoke](qint64 bytes) {
        return smoke ? 1 : bytes < 4 * 1048576 ? 5 : 3;
    };
    using Case = QPair<const Workload *, qint64>;
    QList<QList<Case>> groups;
    for (const Workload &w : workloads) {
        // A stamp begins a line, so the continued lines of an endless one
        // break elsewhere than the workload says.
        if (withStamps() && !w.lineEnd)
            continue;
        groups.append(QList<Case>());
        for (qint64 bytes : sizes)
            groups.last().append({&w, bytes});
    }
    if (withLong)
        groups.append(QList<Case>{{findWorkload("lines"), longSize}});
    const auto argsFor = [](const Case &c) {
        return QStringList{QStringLiteral("--case"), QString::fromLatin1(c.first->name),
                           QString::number(c.second)};
    };
    for (const QList<Case> &group : groups) {
        // The sizes of one workload take turns, so that the machine's speed,
        // which drifts over the minutes, weighs on all of them alike: the
        // table compares them with each other.
        std::vector<QList<Row>> runsOf(size_t(group.size()));
        int rounds = 0;
        for (const Case &one : group)
            rounds = qMax(rounds, repeatsFor(one.second));
        for (int round = 0; round < rounds; ++round) {
            for (int c = 0; c < group.size(); ++c) {
                const auto &[workload, bytes] = group.at(c);
                if (round >= repeatsFor(bytes))
                    continue;
                const QByteArrayList m = runChild(argsFor(group.at(c)));
                if (m.size() != 7) {
                    std::printf("%s %lld: the measurement failed\n", workload->name, bytes);
                    return 1;
                }
                runsOf[size_t(c)].append({workload->name, bytes, m[0].toDouble(), 0,
                                          m[1].toLongLong(), m[2].toLongLong(), m[3].toLongLong(),
                                          m[4] == "1", m[5].toDouble(), m[6].toLongLong()});
            }
        }
        for (int c = 0; c < group.size(); ++c) {
            const Workload &w = *group.at(c).first;
            const qint64 bytes = group.at(c).second;
            const QStringList args = argsFor(group.at(c));
            QList<Row> &runs = runsOf[size_t(c)];
            const int repeats = int(runs.size());
            std::sort(runs.begin(), runs.end(),
                      [](const Row &a, const Row &b) { return a.seconds < b.seconds; });
            Row row = runs.at(repeats / 2);
            for (const Row &run : runs) {
                // The worst stall of any run counts, and any damaged run.
                row.stall = qMax(row.stall, run.stall);
                row.intact = row.intact && run.intact;
            }
            // Hex has no place at all to wrap: the bare widget takes minutes
            // even for 1 MiB of it.
            if (!smoke && !w.hex && !w.clearedFirst && w.log == Workload::NoLog &&
                bytes <= (w.lineEnd ? largestFloor : largestUnbrokenFloor))
                row.floor =
                    runChild(args + QStringList{QStringLiteral("--floor")}).value(0).toDouble();
            allIntact = allIntact && row.intact;
            if (smoke) {
                std::printf("%-8s %8lld bytes: %s\n", w.name, bytes,
                            row.intact ? "intact" : "DIFFERENT");
                continue;
            }
            const double mib = bytes / 1048576.0;
            const QByteArray floor =
                row.floor > 0 ? QByteArray::number(row.floor, 'f', 2) + " | " +
                                    QByteArray::number(100 * row.floor / row.seconds, 'f', 0) + "%"
                              : QByteArray("– | –");
            std::printf(
                "| %s | %g | %.2f | %.1f | %.3f | %.1f | %lld | %lld | %.1f | %.2f | %s |%s\n",
                w.label, mib, row.seconds, mib / row.seconds, row.cpu / mib,
                1e6 * row.cpu / qMax<qint64>(1, row.reads), row.reads, row.stall, row.kib / 1024.0,
                row.kib * 1024.0 / qMax<qint64>(1, row.chars), floor.constData(),
                row.intact ? "" : " NOT INTACT");
            std::fflush(stdout);
            rows.append(row);
        }
    }
    if (smoke)
        return allIntact ? 0 : 1;

    const QByteArrayList latency = runChild({QStringLiteral("--latency")});
    if (latency.size() != 2) {
        std::printf("the latency measurement failed\n");
        return 1;
    }
    const double latencyMedian = latency[0].toDouble();
    const double latencyWorst = latency[1].toDouble();
    std::printf("\nA short reply after 100 ms of quiet, from the device's write to the pane "
                "(100 replies): median %.2f ms, worst %.2f ms\n",
                latencyMedian, latencyWorst);

    auto find = [&](const char *w, qint64 b) -> const Row * {
        for (const Row &r : rows) {
            if (r.workload == w && r.bytes == b)
                return &r;
        }
        return nullptr;
    };
    const qint64 big = 64 * 1048576;
    const qint64 mid = 16 * 1048576;
    bool met = allIntact;
    auto check = [&](bool ok, const QString &what) {
        std::printf("%s %s\n", ok ? "met:   " : "MISSED:", qPrintable(what));
        met = met && ok;
    };
    std::printf("\n");
    const Row *lines = find("lines", mid);
    for (const char *name : {"nobreak", "hex"}) {
        const Row *r = find(name, mid);
        if (lines && r)
            check(r->seconds <= 1.5 * lines->seconds,
                  QStringLiteral("%1 %2 s <= 1.5 x lines %3 s at 16 MiB")
                      .arg(QLatin1String(name))
                      .arg(r->seconds, 0, 'f', 2)
                      .arg(lines->seconds, 0, 'f', 2));
    }
    for (const Workload &w : workloads) {
        const Row *b = find(w.name, big);
        const Row *m = find(w.name, mid);
        if (b && m)
            check(b->seconds <= 4.3 * m->seconds,
                  QStringLiteral("%1 grows linearly: %2 s at 64 MiB <= 4.3 x %3 s at 16 MiB")
                      .arg(QLatin1String(w.name))
                      .arg(b->seconds, 0, 'f', 2)
                      .arg(m->seconds, 0, 'f', 2));
    }
    qint64 worstStall = 0;
    double worstCpu = 0;
    double worstBytes = 0;
    double worstColouredBytes = 0;
    for (const Row &r : rows) {
        worstStall = qMax(worstStall, r.stall);
        const double bytesPerChar = r.kib * 1024.0 / qMax<qint64>(1, r.chars);
        // Coloured text has targets of its own, against the same text
        // without colours.
        if (r.workload == "espcolour") {
            if (r.bytes >= big)
                worstColouredBytes = qMax(worstColouredBytes, bytesPerChar);
            continue;
        }
        worstCpu = qMax(worstCpu, r.cpu / (r.bytes / 1048576.0));
        if (r.bytes >= big)
            worstBytes = qMax(worstBytes, bytesPerChar);
    }
    for (qint64 b : sizes) {
        const Row *coloured = find("espcolour", b);
        const Row *plain = find("esp", b);
        if (b >= mid && coloured && plain)
            check(coloured->cpu <= 1.5 * plain->cpu,
                  QStringLiteral("coloured log, %1 MiB: CPU %2 s <= 1.5 x uncoloured %3 s")
                      .arg(b / 1048576)
                      .arg(coloured->cpu, 0, 'f', 2)
                      .arg(plain->cpu, 0, 'f', 2));
    }
    if (worstColouredBytes > 0)
        check(worstColouredBytes <= 4,
              QStringLiteral("coloured log, memory %1 bytes/char <= 4 from 64 MiB up")
                  .arg(worstColouredBytes, 0, 'f', 2));
    check(worstStall <= 33, QStringLiteral("longest stall %1 ms <= 33 ms").arg(worstStall));
    check(worstCpu <= 0.051,
          QStringLiteral("CPU %1 s/MiB <= 0.051 s/MiB").arg(worstCpu, 0, 'f', 3));
    for (qint64 b : sizes) {
        const Row *r = find("lines", b);
        if (r && r->floor > 0)
            check(r->floor / r->seconds >= 0.5,
                  QStringLiteral("lines, %1 MiB, reach %2% of the floor")
                      .arg(b / 1048576)
                      .arg(100 * r->floor / r->seconds, 0, 'f', 0));
    }
    if (worstBytes > 0)
        check(
            worstBytes <= 3,
            QStringLiteral("memory %1 bytes/char <= 3 from 64 MiB up").arg(worstBytes, 0, 'f', 2));
    check(latencyMedian <= 2,
          QStringLiteral("reply latency median %1 ms <= 2 ms").arg(latencyMedian, 0, 'f', 2));
    check(latencyWorst <= 16,
          QStringLiteral("reply latency worst %1 ms <= 16 ms").arg(latencyWorst, 0, 'f', 2));
    return met ? 0 : 1;
}

void printHeader()
{
    std::printf("Tavlino %s receive benchmark, Qt %s, %s build%s\n\n", TAVLINO_VERSION, qVersion(),
                TAVLINO_BUILD_TYPE[0] ? TAVLINO_BUILD_TYPE : "no build type",
                optimised ? " (optimised)" : "");
    if (!optimised)
        std::fprintf(stderr, "\n*** WARNING: THIS BUILD IS NOT OPTIMISED. The figures below say "
                             "nothing about the program a person builds from the README. ***\n\n");
}

} // namespace

int main(int argc, char *argv[])
{
    // As the program's own main does.
    keepLargeBuffersMapped();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep off the person's own settings; the children inherit the folder.
    if (qEnvironmentVariableIsEmpty("TAVLINO_BENCH_HOME")) {
        static QTemporaryDir home;
        qputenv("TAVLINO_BENCH_HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && !message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    // The children, which measure, inherit it.
    const int withAt = int(args.indexOf(QStringLiteral("--with")));
    if (withAt > 0)
        qputenv("TAVLINO_BENCH_WITH", args.value(withAt + 1).toLatin1());
    const int caseAt = int(args.indexOf(QStringLiteral("--case")));
    if (caseAt > 0 && caseAt + 2 < args.size() + 1) {
        return runCase(args.value(caseAt + 1).toLatin1(), args.value(caseAt + 2).toLongLong(),
                       args.contains(QStringLiteral("--floor")));
    }
    if (args.contains(QStringLiteral("--latency")))
        return runLatency();
    const int steadyAt = int(args.indexOf(QStringLiteral("--steady-case")));
    if (steadyAt > 0 && steadyAt + 5 < args.size())
        return runSteadyCase(args.at(steadyAt + 1).toInt(), args.at(steadyAt + 2).toInt(),
                             args.at(steadyAt + 3).toInt(), args.at(steadyAt + 4).toInt(),
                             args.at(steadyAt + 5).toInt(),
                             args.value(steadyAt + 6, QStringLiteral("lines")).toLatin1());
    const auto option = [&args](const char *name, int otherwise) {
        const int at = int(args.indexOf(QLatin1String(name)));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : otherwise;
    };
    if (args.contains(QStringLiteral("--steady"))) {
        printHeader();
        return runSteadyTable(option("--seconds", 20), option("--runs", 3));
    }
    if (args.contains(QStringLiteral("--copy"))) {
        printHeader();
        return runCopy(option("--mib", 64));
    }
    if (args.contains(QStringLiteral("--save"))) {
        printHeader();
        return runSave(option("--mib", 64));
    }
    if (args.contains(QStringLiteral("--zoom"))) {
        printHeader();
        return runZoom(option("--mib", 64));
    }
    if (args.contains(QStringLiteral("--find"))) {
        printHeader();
        return runFind(option("--mib", 64));
    }
    if (args.contains(QStringLiteral("--reopen"))) {
        printHeader();
        return runReopen(option("--seconds", 60), option("--returns", 10));
    }
    if (args.contains(QStringLiteral("--lend"))) {
        printHeader();
        return runLend(option("--lends", 20));
    }
    if (args.contains(QStringLiteral("--smoke")))
        return runTable({1000, 70000}, true, false);
    printHeader();
    QList<qint64> sizes = {1, 4, 16, 64};
    const int sizesAt = int(args.indexOf(QStringLiteral("--sizes")));
    if (sizesAt > 0) {
        sizes.clear();
        for (const QString &s : args.value(sizesAt + 1).split(QLatin1Char(',')))
            sizes << s.toLongLong();
    }
    for (qint64 &s : sizes)
        s *= 1024 * 1024;
    return runTable(sizes, false, args.contains(QStringLiteral("--long")));
}
