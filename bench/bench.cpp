// Receive-path benchmark: a real pseudo-terminal plays a device that streams
// into the real window, and the table says how fast the pane shows it, how
// long the event loop ever stalled, and what it cost in memory.
//
//   tavlino_bench                 the full table (1, 4 and 16 MiB)
//   tavlino_bench --sizes 1,4     chosen sizes in MiB
//   tavlino_bench --smoke         tiny sizes; checks only that every byte arrived
//
// Each measurement runs in a fresh child process so that one run's heap
// does not weigh on the next one's memory figures.

#include "paceddisplay.h"
#include "receivedecoder.h"
#include "tavlino.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Workload {
    const char *name;
    const char *label;
    char lineEnd;  // 0: no line breaks at all
    int pieceSize; // bytes per write of the device
};

const Workload workloads[] = {
    {"lines", "80-character lines", '\n', 4096},
    {"nobreak", "no line breaks", 0, 4096},
    {"cr", "lines ended by CR", '\r', 4096},
    {"usb64", "80-char lines in 64-byte pieces", '\n', 64},
};

const Workload *findWorkload(const QByteArray &name)
{
    for (const Workload &w : workloads) {
        if (name == w.name)
            return &w;
    }
    return nullptr;
}

// Printable text that changes from line to line, so that a lost, doubled or
// reordered piece shows up in the comparison.
QByteArray makeData(const Workload &workload, qint64 bytes)
{
    QByteArray data;
    data.reserve(int(bytes));
    int line = 0;
    while (data.size() < bytes) {
        QByteArray text = QByteArray::number(line++).rightJustified(8, '0') + ' ';
        while (text.size() < 80)
            text.append(char('A' + (text.size() + line) % 26));
        if (workload.lineEnd)
            text.append(workload.lineEnd);
        data.append(text);
    }
    data.truncate(int(bytes));
    return data;
}

// What the pane shows for the decoded text: lines longer than the window's
// limit continue on a new line.
QString asShown(const QString &decoded)
{
    QStringList lines = decoded.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        for (int at = PacedDisplay::longestLine; at < line.size();
             at += PacedDisplay::longestLine + 1)
            line.insert(at, QLatin1Char('\n'));
    }
    return lines.join(QLatin1Char('\n'));
}

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

int openMaster(QString *slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    *slavePath = QString::fromLocal8Bit(ptsname(master));
    return master;
}

// The device: a child process writing the data in pieces, as fast as the
// pty takes them.
pid_t startDevice(int master, const QByteArray &data, int pieceSize)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    qint64 done = 0;
    while (done < data.size()) {
        const size_t piece = size_t(qMin<qint64>(pieceSize, data.size() - done));
        const ssize_t n = ::write(master, data.constData() + done, piece);
        if (n > 0)
            done += n;
        else if (errno != EINTR)
            _exit(1);
    }
    _exit(0);
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
};

Result measureWindow(const Workload &workload, qint64 bytes)
{
    const QByteArray data = makeData(workload, bytes);
    ReceiveDecoder reference;
    const QString expected = asShown(reference.decode(data));

    Tavlino window;
    window.show();
    QString slave;
    const int master = openMaster(&slave);
    auto *com = window.findChild<QComboBox *>(QStringLiteral("input_com"));
    com->addItem(slave);
    com->setCurrentIndex(com->count() - 1);
    window.findChild<QPushButton *>(QStringLiteral("btn_Open"))->click();
    auto *output = window.findChild<QPlainTextEdit *>(QStringLiteral("output"));
    QCoreApplication::processEvents();

    Result result;
    resetPeakMemory();
    const qint64 before = statusKiB("VmRSS:");
    QElapsedTimer clock;
    QEventLoop loop;
    StallProbe probe;
    // The document holds one more character than is shown: the final
    // paragraph separator.
    const qint64 target = expected.size() + 1;
    probe.onTick = [&] {
        if (output->document()->characterCount() >= target)
            loop.quit();
    };
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    clock.start();
    const pid_t device = startDevice(master, data, workload.pieceSize);
    loop.exec();
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.stallMs = probe.worstLatenessMs();
    result.peakGrowthKiB = statusKiB("VmHWM:") - before;
    result.shownChars = output->document()->characterCount() - 1;
    result.intact = output->toPlainText() == expected;
    waitpid(device, nullptr, 0);
    ::close(master);
    return result;
}

// The floor: the same text put into a shown, bare QPlainTextEdit at once.
double measureFloor(const Workload &workload, qint64 bytes)
{
    ReceiveDecoder decoder;
    const QString text = decoder.decode(makeData(workload, bytes));
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
    std::printf("%.4f %lld %lld %lld %d\n", r.seconds, r.stallMs, r.peakGrowthKiB, r.shownChars,
                int(r.intact));
    return r.intact ? 0 : 1;
}

QByteArrayList runChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    return child.readAllStandardOutput().trimmed().split(' ');
}

int runTable(const QList<qint64> &sizes, bool smoke)
{
    struct Row {
        QByteArray workload;
        qint64 bytes;
        double seconds, floor;
        qint64 stall, kib, chars;
        bool intact;
    };
    QList<Row> rows;
    bool allIntact = true;
    if (!smoke) {
        std::printf(
            "| workload | MiB | shown in s | MiB/s | longest stall ms | peak RSS growth MiB "
            "| bytes/char | floor s | floor MiB/s | of floor |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    }
    for (const Workload &w : workloads) {
        for (qint64 bytes : sizes) {
            const QStringList args = {QStringLiteral("--case"), QString::fromLatin1(w.name),
                                      QString::number(bytes)};
            // Small runs are over in a few frames and vary the most, so they
            // are repeated more; the table shows the median run.
            const int repeats = smoke ? 1 : bytes < 4 * 1048576 ? 5 : 3;
            QList<Row> runs;
            for (int i = 0; i < repeats; ++i) {
                const QByteArrayList m = runChild(args);
                if (m.size() != 5) {
                    std::printf("%s %lld: the measurement failed\n", w.name, bytes);
                    return 1;
                }
                runs.append({w.name, bytes, m[0].toDouble(), 0, m[1].toLongLong(),
                             m[2].toLongLong(), m[3].toLongLong(), m[4] == "1"});
            }
            std::sort(runs.begin(), runs.end(),
                      [](const Row &a, const Row &b) { return a.seconds < b.seconds; });
            Row row = runs.at(repeats / 2);
            QList<double> floors;
            for (const Row &run : runs) {
                // The worst stall of any run counts, and any damaged run.
                row.stall = qMax(row.stall, run.stall);
                row.intact = row.intact && run.intact;
                if (!smoke)
                    floors << runChild(args + QStringList{QStringLiteral("--floor")})
                                  .value(0)
                                  .toDouble();
            }
            std::sort(floors.begin(), floors.end());
            row.floor = floors.value(repeats / 2);
            allIntact = allIntact && row.intact;
            if (smoke) {
                std::printf("%-8s %8lld bytes: %s\n", w.name, bytes,
                            row.intact ? "intact" : "DIFFERENT");
                continue;
            }
            const double mib = bytes / 1048576.0;
            std::printf("| %s | %g | %.2f | %.1f | %lld | %.1f | %.2f | %.2f | %.1f | %.0f%% |%s\n",
                        w.label, mib, row.seconds, mib / row.seconds, row.stall, row.kib / 1024.0,
                        row.kib * 1024.0 / qMax<qint64>(1, row.chars), row.floor, mib / row.floor,
                        100 * row.floor / row.seconds, row.intact ? "" : " NOT INTACT");
            std::fflush(stdout);
            rows.append(row);
        }
    }
    if (smoke)
        return allIntact ? 0 : 1;

    auto find = [&](const char *w, qint64 b) -> const Row * {
        for (const Row &r : rows) {
            if (r.workload == w && r.bytes == b)
                return &r;
        }
        return nullptr;
    };
    const qint64 big = sizes.last();
    const qint64 mid = sizes.size() > 1 ? sizes[sizes.size() - 2] : big;
    bool met = allIntact;
    auto check = [&](bool ok, const QString &what) {
        std::printf("%s %s\n", ok ? "met:   " : "MISSED:", qPrintable(what));
        met = met && ok;
    };
    std::printf("\n");
    const Row *lines = find("lines", big);
    const Row *nobreak = find("nobreak", big);
    check(nobreak->seconds <= 1.5 * lines->seconds,
          QStringLiteral("no line breaks %1 s <= 1.5 x lines %2 s")
              .arg(nobreak->seconds, 0, 'f', 2)
              .arg(lines->seconds, 0, 'f', 2));
    for (const Workload &w : workloads) {
        const Row *b = find(w.name, big);
        const Row *m = find(w.name, mid);
        check(b->seconds <= 4.5 * m->seconds * (double(big) / mid / 4),
              QStringLiteral("%1 grows linearly: %2 s vs %3 s")
                  .arg(w.name)
                  .arg(b->seconds, 0, 'f', 2)
                  .arg(m->seconds, 0, 'f', 2));
    }
    qint64 worstStall = 0;
    for (const Row &r : rows)
        worstStall = qMax(worstStall, r.stall);
    check(worstStall <= 100, QStringLiteral("longest stall %1 ms <= 100 ms").arg(worstStall));
    for (qint64 b : sizes) {
        const Row *r = find("lines", b);
        check(r->floor / r->seconds >= 0.5, QStringLiteral("lines, %1 MiB, reach %2% of the floor")
                                                .arg(b / 1048576)
                                                .arg(100 * r->floor / r->seconds, 0, 'f', 0));
    }
    double worstBytes = 0;
    for (const Row &r : rows) {
        if (r.bytes == big)
            worstBytes = qMax(worstBytes, r.kib * 1024.0 / qMax<qint64>(1, r.chars));
    }
    check(worstBytes <= 10,
          QStringLiteral("memory %1 bytes/char <= 10").arg(worstBytes, 0, 'f', 2));
    return met ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
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
    const int caseAt = int(args.indexOf(QStringLiteral("--case")));
    if (caseAt > 0 && caseAt + 2 < args.size() + 1) {
        return runCase(args.value(caseAt + 1).toLatin1(), args.value(caseAt + 2).toLongLong(),
                       args.contains(QStringLiteral("--floor")));
    }
    if (args.contains(QStringLiteral("--smoke")))
        return runTable({1000, 70000}, true);
    QList<qint64> sizes = {1, 4, 16};
    const int sizesAt = int(args.indexOf(QStringLiteral("--sizes")));
    if (sizesAt > 0) {
        sizes.clear();
        for (const QString &s : args.value(sizesAt + 1).split(QLatin1Char(',')))
            sizes << s.toLongLong();
    }
    for (qint64 &s : sizes)
        s *= 1024 * 1024;
    return runTable(sizes, false);
}
