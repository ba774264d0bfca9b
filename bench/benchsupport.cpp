#include "benchsupport.h"

#include "hexlines.h"
#include "linestamps.h"
#include "panereading.h"
#include "receivedecoder.h"
#include "workloads.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTextDocument>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int openMaster(QString *slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    *slavePath = QString::fromLocal8Bit(ptsname(master));
    return master;
}

QByteArray hashOf(const QString &text)
{
    return QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char *>(text.constData()),
                                int(text.size() * sizeof(QChar))),
        QCryptographicHash::Sha1);
}

bool readAll(int fd, char *into, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, into, size);
        if (n <= 0 && errno != EINTR)
            return false;
        if (n > 0) {
            into += n;
            size -= size_t(n);
        }
    }
    return true;
}

bool withStamps()
{
    return qEnvironmentVariable("TAVLINO_BENCH_WITH").contains(QLatin1String("stamps"));
}

bool withLog()
{
    return qEnvironmentVariable("TAVLINO_BENCH_WITH").contains(QLatin1String("log"));
}

bool withFind()
{
    return qEnvironmentVariable("TAVLINO_BENCH_WITH").contains(QLatin1String("find"));
}

bool withHex()
{
    return qEnvironmentVariable("TAVLINO_BENCH_WITH").contains(QLatin1String("hex"));
}

qint64 stampedLines(const QString &text)
{
    if (text.isEmpty())
        return 0;
    return 1 + text.count(u'\n') - (text.endsWith(u'\n') ? 1 : 0);
}

bool tellExpected(int fd, const QByteArray &data)
{
    ReceiveDecoder decoder;
    HexLines hex;
    const QString expected =
        withHex() ? hex.add(data) + hex.pendingLine() : asShown(decoder.decode(data).text);
    const qint64 chars =
        expected.size() + (withStamps() ? stampedLines(expected) * LineStamps::stampLength : 0);
    const QByteArray hash = hashOf(expected);
    return ::write(fd, &chars, sizeof chars) == sizeof chars &&
           ::write(fd, hash.constData(), size_t(hash.size())) == hash.size();
}

void hearExpected(int fd, qint64 *chars, QByteArray *hash)
{
    hash->resize(20);
    if (!readAll(fd, reinterpret_cast<char *>(chars), sizeof *chars) ||
        !readAll(fd, hash->data(), 20))
        *chars = -1;
    ::close(fd);
}

QByteArrayList runChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    return child.readAllStandardOutput().trimmed().split(' ');
}

void answerFileDialog(const QString &path, const std::function<void()> &pressing)
{
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
    auto *buttons =
        dialog ? dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox")) : nullptr;
    QAbstractButton *accept = nullptr;
    for (QAbstractButton *button : buttons ? buttons->buttons() : QList<QAbstractButton *>()) {
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            accept = button;
    }
    if (name && name->text() != path)
        name->setText(path);
    if (accept && accept->isEnabled()) {
        if (pressing)
            pressing();
        accept->click();
    } else {
        QTimer::singleShot(10, [path, pressing] { answerFileDialog(path, pressing); });
    }
}

namespace {

// Everything but the stamps at the start of the lines.
QString withoutStamps(const QString &text)
{
    QString bare;
    bare.reserve(text.size());
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(u'\n', from);
        end = end < 0 ? text.size() : end + 1;
        const bool stamped = end - from > LineStamps::stampLength && text.at(from + 2) == u':' &&
                             text.at(from + 8) == u'.';
        const qsizetype start = stamped ? from + LineStamps::stampLength : from;
        bare += QStringView(text).mid(start, end - start);
        from = end;
    }
    return bare;
}

} // namespace

OpenWindow::OpenWindow()
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    if (withStamps())
        window.findChild<QAction *>(QStringLiteral("actionTimestamps"))->trigger();
    if (withLog()) {
        logPath = qEnvironmentVariable("TAVLINO_BENCH_HOME") + QStringLiteral("/bench-") +
                  QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".log");
        QTimer::singleShot(0, [this] { answerFileDialog(logPath); });
        window.findChild<QAction *>(QStringLiteral("actionLog"))->trigger();
    }
    if (withHex())
        window.findChild<QAction *>(QStringLiteral("actionHex"))->trigger();
    window.show();
    if (withFind()) {
        window.findChild<QAction *>(QStringLiteral("actionFind"))->trigger();
        window.findChild<QLineEdit *>(QStringLiteral("input_find"))
            ->setText(QString::fromLatin1(soughtText));
    }
    QString slave;
    master = openMaster(&slave);
    auto *com = window.findChild<QComboBox *>(QStringLiteral("input_com"));
    com->addItem(slave);
    com->setCurrentIndex(com->count() - 1);
    window.findChild<QPushButton *>(QStringLiteral("btn_Open"))->click();
    output = window.findChild<QPlainTextEdit *>(QStringLiteral("output"));
    port = window.findChild<QSerialPort *>();
    QCoreApplication::processEvents();
}

OpenWindow::~OpenWindow()
{
    ::close(master);
    if (!logPath.isEmpty())
        QFile::remove(logPath);
}

bool OpenWindow::holds(qint64 chars, const QByteArray &hash)
{
    const QString shown = output->toPlainText();
    if (shown.size() != chars || hashOf(withStamps() ? withoutStamps(shown) : shown) != hash)
        return false;
    if (logPath.isEmpty())
        return true;
    auto *log = window.findChild<QAction *>(QStringLiteral("actionLog"));
    if (!log->isChecked())
        return false;
    log->trigger();
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // What was cleared from the pane stays in the log.
    const QString logged = QString::fromUtf8(file.readAll());
    const QString all = PaneReading::allText(*output);
    return cleared ? logged.endsWith(all) : logged == all;
}

bool OpenWindow::fill(qint64 bytes)
{
    const QByteArray data = makeData(*findWorkload("lines"), bytes);
    // The window reads only while this waits for it.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    for (qint64 done = 0; done < data.size();) {
        const ssize_t n = ::write(master, data.constData() + done,
                                  size_t(qMin<qint64>(65536, data.size() - done)));
        if (n > 0)
            done += n;
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    QElapsedTimer waited;
    waited.start();
    while (output->document()->characterCount() - 1 < data.size() && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return output->document()->characterCount() - 1 == data.size();
}
