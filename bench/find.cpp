#include "find.h"

#include "benchsupport.h"
#include "findbar.h"
#include "panefinder.h"
#include "workloads.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// The event loop runs for `ms`, and the worst lateness of a 5 ms timer
// meanwhile is kept.
void wait(int ms, qint64 *worstLateMs, const std::function<bool()> &done = {})
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        *worstLateMs = qMax(*worstLateMs, now - last - 5);
        last = now;
        if (now >= ms || (done && done()))
            loop.quit();
    });
    tick.start(5);
    loop.exec();
}

double typeKey(QWidget *into, QChar c)
{
    QElapsedTimer clock;
    clock.start();
    const int key = c.toUpper().unicode();
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(into, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(into, &up);
    // What the keystroke changed is on the screen.
    into->window()->repaint();
    return clock.nsecsElapsed() / 1e6;
}

struct Search {
    double openMs = 0;
    double worstKeyMs = 0;
    double completeS = 0;
    qint64 lateMs = 0;
    double nextMs = 0;
    int total = 0;
    QString label;
};

Search search(OpenWindow &open, const QString &text)
{
    auto *field = open.window.findChild<QLineEdit *>(QStringLiteral("input_find"));
    auto *finder = open.window.findChild<PaneFinder *>();
    Search result;
    QElapsedTimer opening;
    opening.start();
    open.window.findChild<QAction *>(QStringLiteral("actionFind"))->trigger();
    field->clear();
    open.window.repaint();
    result.openMs = opening.nsecsElapsed() / 1e6;
    wait(150, &result.lateMs);
    QElapsedTimer sinceLast;
    for (QChar c : text) {
        const double keyMs = typeKey(field, c);
        if (qEnvironmentVariableIsSet("TAVLINO_BENCH_KEYS"))
            std::fprintf(stderr, "%c %.1f ms\n", char(c.unicode()), keyMs);
        result.worstKeyMs = qMax(result.worstKeyMs, keyMs);
        sinceLast.start();
        // A quick typist: a key every 150 ms.
        if (c != text.back())
            wait(150, &result.lateMs);
    }
    wait(10000, &result.lateMs, [&] { return finder->isComplete(); });
    result.completeS = sinceLast.nsecsElapsed() / 1e9;
    result.total = finder->total();
    QElapsedTimer clock;
    clock.start();
    open.window.findChild<QAction *>(QStringLiteral("actionFindNext"))->trigger();
    open.window.repaint();
    result.nextMs = clock.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    result.label = open.window.findChild<QLabel *>(QStringLiteral("lbl_findCount"))->text();
    return result;
}

} // namespace

namespace {

double timedMs(QWidget *window, const std::function<void()> &step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    QCoreApplication::processEvents();
    window->repaint();
    return clock.nsecsElapsed() / 1e6;
}

void pressIn(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &up);
}

} // namespace

int runZoom(int mebibytes)
{
    OpenWindow open;
    open.window.resize(1000, 900);
    if (!open.fill(qint64(mebibytes) * 1048576)) {
        std::printf("the session did not arrive whole\n");
        return 1;
    }
    QWidget *window = &open.window;
    QPlainTextEdit *pane = open.output;
    auto *zoomIn = window->findChild<QAction *>(QStringLiteral("actionZoomIn"));
    std::printf("Scrolling and resizing %d MiB of 80-character lines at 1000×900, at the normal "
                "size and the largest (the time until the window is painted again)\n\n",
                mebibytes);
    std::printf("| text size | zoom step to it | worst of 30 PgUp | Ctrl+Home | Ctrl+End | "
                "40 px narrower | back |\n|---|---:|---:|---:|---:|---:|---:|\n");
    double normalWorst = 0;
    bool met = true;
    for (const bool largest : {false, true}) {
        double zoomMs = 0;
        while (largest && zoomIn->isEnabled())
            zoomMs = timedMs(window, [&] { zoomIn->trigger(); });
        pane->setFocus();
        pressIn(pane, Qt::Key_End, Qt::ControlModifier);
        double pageUp = 0;
        for (int i = 0; i < 30; ++i)
            pageUp = qMax(pageUp, timedMs(window, [&] { pressIn(pane, Qt::Key_PageUp); }));
        const double home =
            timedMs(window, [&] { pressIn(pane, Qt::Key_Home, Qt::ControlModifier); });
        const double end =
            timedMs(window, [&] { pressIn(pane, Qt::Key_End, Qt::ControlModifier); });
        const double narrower = timedMs(window, [&] { window->resize(960, 900); });
        const double back = timedMs(window, [&] { window->resize(1000, 900); });
        const double worst = qMax(qMax(pageUp, home), qMax(end, qMax(narrower, back)));
        std::printf("| %s | %s | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n",
                    largest ? "400 %" : "100 %",
                    largest ? qPrintable(QString::asprintf("%.1f ms", zoomMs)) : "–", pageUp, home,
                    end, narrower, back);
        if (!largest)
            normalWorst = worst;
        else
            met = worst <= qMax(2 * normalWorst, 100.0);
    }
    std::printf("\n%s as quick at the largest size as at the normal one (at most twice its worst "
                "step, or 100 ms)\n",
                met ? "met:   " : "MISSED:");
    return met ? 0 : 1;
}

int runFind(int mebibytes)
{
    OpenWindow open;
    const qint64 bytes = qint64(mebibytes) * 1048576;
    if (!open.fill(bytes)) {
        std::printf("the session did not arrive whole\n");
        return 1;
    }
    const qint64 lines = bytes / 81;
    // The line in the middle, there once; and three letters in every line,
    // typed without capitals, so case does not matter.
    const QString once = QString::number(lines / 2).rightJustified(8, u'0');
    const QString common = QString::fromLatin1(soughtText);
    std::printf("Find in %d MiB of 80-character lines (%lld lines), typed a key every 150 ms\n\n",
                mebibytes, lines);
    std::printf("| sought | matches | Ctrl+F | worst keystroke | count complete after the last "
                "key | latest timer | F3 | bar says |\n|---|---:|---:|---:|---:|---:|---:|---|\n");
    bool met = true;
    for (const QString &text : {once, common}) {
        const Search s = search(open, text);
        std::printf("| `%s` | %d | %.1f ms | %.1f ms | %.2f s | %lld ms | %.1f ms | %s |\n",
                    qPrintable(text), s.total, s.openMs, s.worstKeyMs, s.completeS, s.lateMs,
                    s.nextMs, qPrintable(s.label));
        const bool right = text == once ? s.total == 1 : s.total >= lines - 1;
        met = met && right && s.openMs <= 100 && s.worstKeyMs <= 100 && s.completeS <= 1.2;
        if (!right)
            std::printf("MISSED: %d matches of `%s`\n", s.total, qPrintable(text));
    }
    std::printf("\n%s each keystroke within 100 ms and the count complete within about 1 s\n",
                met ? "met:   " : "MISSED:");
    return met ? 0 : 1;
}
