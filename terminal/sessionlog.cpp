#include "sessionlog.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

// Writes what it is handed, in order, until told to stop or a write fails.
class SessionLog::Writer : public QThread
{
public:
    Writer(QFile *file, SessionLog *log) : file(file), log(log) {}
    ~Writer() override { delete file; }

    void hand(const QByteArray &data)
    {
        QMutexLocker lock(&mutex);
        const bool wasIdle = pending.isEmpty();
        pending += data;
        if (wasIdle)
            handed.wakeOne();
    }
    // Once what is queued is written.
    void finish()
    {
        {
            QMutexLocker lock(&mutex);
            finishing = true;
            handed.wakeOne();
        }
        wait();
    }

protected:
    void run() override
    {
        for (;;) {
            QByteArray data;
            {
                QMutexLocker lock(&mutex);
                while (pending.isEmpty() && !finishing)
                    handed.wait(&mutex);
                if (pending.isEmpty())
                    return;
                data.swap(pending);
            }
            if (!writeWhole(*file, data)) {
                // Dropped by Qt if the log is gone by then.
                const QString reason = file->errorString();
                SessionLog *to = log;
                QMetaObject::invokeMethod(
                    log, [to, reason] { to->writerFailed(reason); }, Qt::QueuedConnection);
                return;
            }
        }
    }

private:
    QFile *file = nullptr;
    SessionLog *log = nullptr;
    QMutex mutex;
    QWaitCondition handed;
    QByteArray pending;
    bool finishing = false;
};

SessionLog::SessionLog(QObject *parent) : QObject(parent)
{
    handTimer = new QTimer(this);
    handTimer->setSingleShot(true);
    connect(handTimer, &QTimer::timeout, this, &SessionLog::handQueued);
}

SessionLog::~SessionLog()
{
    stop();
}

bool SessionLog::start(const QString &path, Content kind, QString *reason)
{
    stop();
    auto *file = new QFile(path);
    // Unbuffered: every piece goes to the system as it is written.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = file->errorString();
        delete file;
        return false;
    }
    content = kind;
    logPath = path;
    empty = true;
    atLineStart = true;
    writer = new Writer(file, this);
    writer->start();
    return true;
}

void SessionLog::stop()
{
    if (!writer)
        return;
    handQueued();
    writer->finish();
    delete writer;
    writer = nullptr;
}

void SessionLog::received(const QString &shown, const QByteArray &bytes)
{
    if (!writer)
        return;
    if (content == RawBytes) {
        hand(bytes);
        return;
    }
    if (shown.isEmpty())
        return;
    // The pane's line and paragraph separators and no-break spaces, as a
    // copy of it gives them.
    QString text = shown;
    for (const QChar c : {QChar(QChar::LineSeparator), QChar(QChar::ParagraphSeparator)}) {
        if (text.contains(c))
            text.replace(c, u'\n');
    }
    if (text.contains(QChar::Nbsp))
        text.replace(QChar::Nbsp, u' ');
    empty = false;
    atLineStart = text.endsWith(u'\n');
    hand(text.toUtf8());
}

void SessionLog::ownLine(OwnLine kind, const QString &line)
{
    if (!writer || content == RawBytes)
        return;
    const OwnLineBreaks breaks = ownLineBreaks(kind, empty, atLineStart);
    QByteArray data;
    if (breaks.before)
        data += '\n';
    data += line.toUtf8();
    if (breaks.after)
        data += '\n';
    empty = false;
    atLineStart = breaks.after;
    hand(data);
}

void SessionLog::hand(const QByteArray &data)
{
    queued += data;
    if (handTimer->isActive() || queued.isEmpty())
        return;
    const qint64 since = lastHanded.isValid() ? lastHanded.elapsed() : handPaceMs;
    if (since >= handPaceMs)
        handQueued();
    else
        handTimer->start(int(handPaceMs - since));
}

void SessionLog::handQueued()
{
    handTimer->stop();
    if (queued.isEmpty() || !writer)
        return;
    lastHanded.start();
    writer->hand(queued);
    queued.clear();
}

void SessionLog::writerFailed(const QString &reason)
{
    stop();
    Q_EMIT failed(reason);
}

bool SessionLog::writeWhole(QFileDevice &file, const QByteArray &data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}
