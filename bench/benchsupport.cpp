#include "benchsupport.h"

#include "receivedecoder.h"
#include "workloads.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>

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

bool tellExpected(int fd, const QByteArray &data)
{
    ReceiveDecoder decoder;
    const QString expected = asShown(decoder.decode(data).text);
    const qint64 chars = expected.size();
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

OpenWindow::OpenWindow()
{
    window.show();
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
}
