#ifndef SESSIONLOG_H
#define SESSIONLOG_H

#include "panelines.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QFileDevice;
class QTimer;

// Keeps the session in a file as it comes: the pane's text as the pane
// shows it (its time stamps, the echo, '\n' line ends, no escape codes), or
// the device's bytes as they were read. An existing file is appended to.
//
// What it is given goes to the system at once after a quiet spell, and at
// most `handPaceMs` later while the device streams, as the pane shows it:
// whatever the pane shows, a crash or a kill cannot take from the file. The
// writing itself is done by a thread of its own, so that a slow disk (a USB
// stick, a network share) never holds up the window, which goes on
// queueing meanwhile.
class SessionLog : public QObject
{
    Q_OBJECT

public:
    enum Content { ShownText, RawBytes };
    // Waking the writer for every read of a streaming device cost as much
    // as the read itself: it is woken at the pane's pace.
    static constexpr int handPaceMs = 40;

    explicit SessionLog(QObject *parent = nullptr);
    ~SessionLog() override;

    // Opens the file; on failure, false and the reason.
    bool start(const QString &path, Content content, QString *reason);
    // Writes what is queued and closes the file.
    void stop();
    bool isOn() const { return writer != nullptr; }
    QString path() const { return logPath; }

    // What the pane is given: the device's text as shown, and the bytes it
    // came from.
    void received(const QString &shown, const QByteArray &bytes);
    // A line of the program's own, its time stamp included.
    void ownLine(OwnLine kind, const QString &line);

    // Writes all of `data`, going on after a write the system cut short, so
    // that the write that fails says why. Qt's buffered writes drop the
    // rest of a short write without an error.
    static bool writeWhole(QFileDevice &file, const QByteArray &data);

Q_SIGNALS:
    // A write failed and the log has stopped; the reason is the system's.
    void failed(const QString &reason);

private:
    class Writer;
    void hand(const QByteArray &data);
    void handQueued();
    void writerFailed(const QString &reason);

    Writer *writer = nullptr;
    QByteArray queued;
    QTimer *handTimer = nullptr;
    QElapsedTimer lastHanded;
    Content content = ShownText;
    QString logPath;
    bool empty = true;
    bool atLineStart = true;
};

#endif // SESSIONLOG_H
