#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

// What the burst and the steady-feed measurements share: the window with a
// pty as its open port, the device's side of the pty, and running a
// measurement in a fresh child process.

#include "tavlino.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>

class QPlainTextEdit;
class QSerialPort;

// The program's own CPU time so far, user and system.
double cpuSeconds();
// Opens a pty's master side; the slave's path is what Com is given.
int openMaster(QString *slavePath);
QByteArray hashOf(const QString &text);
// Reads exactly `size` bytes, or fails.
bool readAll(int fd, char *into, size_t size);
// The device's side: works out what the pane must show for `data` and sends
// the window's process its length and hash.
bool tellExpected(int fd, const QByteArray &data);
// The window's side; the length is -1 if the device could not tell it. Closes
// the descriptor.
void hearExpected(int fd, qint64 *chars, QByteArray *hash);
// What the window is measured with, as TAVLINO_BENCH_WITH says, any of
// "stamps" (timestamps on), "log" (a log on disk), "find" (the find bar open
// and counting a common pattern as text arrives) and "hex" (the hex view),
// joined by commas.
bool withStamps();
bool withLog();
bool withFind();
bool withHex();
// What the find bar seeks with "find": in most of the lines, in any case.
constexpr const char *soughtText = "jkl";
// The lines a stamp begins in text as the pane shows it, the device's alone.
qint64 stampedLines(const QString &text);
// As a person would: the path typed into the file dialog Qt shows next, and
// its Save button pressed once the dialog lets it, just after `pressing`.
void answerFileDialog(const QString &path, const std::function<void()> &pressing = {});
// Runs this benchmark again with the arguments and returns its output's words.
QByteArrayList runChild(const QStringList &arguments);

// The real window, shown, with a pty's slave typed into Com and opened.
struct OpenWindow {
    Tavlino window;
    int master = -1;
    QPlainTextEdit *output = nullptr;
    QSerialPort *port = nullptr;
    QString logPath;
    // Whether the pane was cleared after it first received.
    bool cleared = false;

    OpenWindow();
    ~OpenWindow();
    // Whether the pane shows `chars` characters, stamps included, whose
    // text without them has this hash; and with a log on, whether the log,
    // closed now, holds what the pane shows.
    bool holds(qint64 chars, const QByteArray &hash);
    // A long session: `bytes` of 80-character lines written as fast as the
    // pty takes them, until the pane shows them all. Whether it does.
    bool fill(qint64 bytes);
    OpenWindow(const OpenWindow &) = delete;
    OpenWindow &operator=(const OpenWindow &) = delete;
};

#endif // BENCHSUPPORT_H
