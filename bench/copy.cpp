#include "copy.h"

#include "benchsupport.h"
#include "workloads.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>

namespace {

// As the keyboard delivers a shortcut: first offered, then pressed.
void press(QWidget *widget, Qt::Key key)
{
    QKeyEvent offer(QEvent::ShortcutOverride, key, Qt::ControlModifier);
    QApplication::sendEvent(widget, &offer);
    QKeyEvent down(QEvent::KeyPress, key, Qt::ControlModifier);
    QApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::ControlModifier);
    QApplication::sendEvent(widget, &up);
}

} // namespace

int runCopy(int mebibytes)
{
    OpenWindow open;
    if (!open.fill(qint64(mebibytes) * 1048576)) {
        std::printf("the session did not arrive whole\n");
        return 1;
    }
    const QString expected = open.output->document()->toPlainText();
    QClipboard *clipboard = QApplication::clipboard();
    open.output->setFocus();

    clipboard->clear();
    QElapsedTimer clock;
    clock.start();
    press(open.output, Qt::Key_A);
    press(open.output, Qt::Key_C);
    const QString copied = clipboard->text();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const bool whole = copied == expected;

    clipboard->clear();
    open.output->moveCursor(QTextCursor::Start);
    clock.start();
    open.output->selectAll();
    open.output->copy();
    const QString byQt = clipboard->text();
    const double qtSeconds = clock.nsecsElapsed() / 1e9;

    std::printf("Select all and copy of %d MiB of lines (%lld characters): %.2f s with Ctrl+A and "
                "Ctrl+C in the pane; Qt's own selectAll and copy %.2f s%s\n\n",
                mebibytes, qint64(expected.size()), seconds, qtSeconds,
                byQt == expected ? "" : " (a different text)");
    std::printf("%s copied everything with \\n line breaks\n", whole ? "met:   " : "MISSED:");
    std::printf("%s copy within 1 s: %.2f s\n", seconds <= 1 ? "met:   " : "MISSED:", seconds);
    return whole && seconds <= 1 ? 0 : 1;
}

int runSave(int mebibytes)
{
    OpenWindow open;
    if (!open.fill(qint64(mebibytes) * 1048576)) {
        std::printf("the session did not arrive whole\n");
        return 1;
    }
    const QString expected = open.output->document()->toPlainText();
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.txt"));
    // From the press of the dialog's Save button until the window is back.
    QElapsedTimer clock;
    QTimer::singleShot(0, [&] { answerFileDialog(path, [&] { clock.start(); }); });
    open.window.findChild<QAction *>(QStringLiteral("actionSaveOutput"))->trigger();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QFile file(path);
    const bool whole =
        file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()) == expected;
    std::printf("Save Output As of %d MiB of lines (%lld characters): %.2f s from the dialog's "
                "Save button until the window answers again\n\n",
                mebibytes, qint64(expected.size()), seconds);
    std::printf("%s the file holds what a copy gives\n", whole ? "met:   " : "MISSED:");
    std::printf("%s saved within about 1 s: %.2f s\n",
                seconds <= 1.2 ? "met:   " : "MISSED:", seconds);
    return whole && seconds <= 1.2 ? 0 : 1;
}
