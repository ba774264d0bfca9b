#ifndef PACEDDISPLAY_H
#define PACEDDISPLAY_H

#include "panecolours.h"
#include "panelines.h"
#include "textstyle.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class PaneLayout;
class PaneReading;
class QTextCursor;
class PaneScrollBar;
class QPlainTextEdit;

// Puts received text into the output pane at the pace the pane can take.
// A chatty device delivers many small reads in quick succession; inserting
// each by itself would lay out and repaint the pane for every one of them.
// They are gathered and shown together, at most once every streamPaceMs,
// and a backlog goes in in pieces, one per pass of the event loop, so the
// window keeps answering however fast the device talks. Text after a quiet
// spell is shown at once. No timer runs while nothing is queued.
class PacedDisplay : public QObject
{
    Q_OBJECT

public:
    // A line that never ends would make the pane lay out one ever-growing
    // paragraph again with every update, so a received line that reaches
    // this length is continued on a new line. The pane wraps it anyway.
    static constexpr int longestLine = 4096;
    // Received lines are kept together in paragraphs of about this many
    // characters, separated within one by line separators. Every paragraph
    // costs the document about 140 bytes, nearly as much as a short line
    // itself, and its layout is redone whole whenever text is added to it.
    static constexpr int longestParagraph = 1024;
    // While a device streams, the pane is updated at most this often. Every
    // update lays out the last paragraph, repaints what changed and tells a
    // screen reader about the new text: sixty a second kept a fifth of a core
    // busy at a 115200-baud trickle and flooded the screen reader, while at
    // this pace the newest text is still never 50 ms behind.
    static constexpr int streamPaceMs = 40;
    // Linux's tty layer reads ahead 4 KiB per port before it leaves the
    // rest in the driver's larger buffers: less than that in one update, or
    // one read, is a trickle.
    static constexpr int ttyReadBuffer = 4096;

    // How long text that arrives now waits before it is shown, given the
    // milliseconds since the pane was last updated (negative: never).
    static int waitBeforeShowing(qint64 sinceShownMs);

    // The pane is not owned; it must outlive this object.
    explicit PacedDisplay(QPlainTextEdit *pane, QObject *parent = nullptr);

    // Queues received text for the end of the pane, in the styles a device
    // gave it.
    void append(const StyledText &text);
    void append(const QString &text) { append(StyledText{text, {}}); }
    // Adds a line of the program's own as a paragraph of its own, in the
    // pane's own colours, below everything queued, after `stamp` (a time of
    // day, or nothing) in their muted form.
    void appendLine(const QString &line, const QString &stamp = QString());
    // Adds a line of the program's own that stands apart from the device's
    // text (the port lent and back): on a line of its own, and what the
    // device sends next starts below it.
    void appendNotice(const QString &line, const QString &stamp = QString());
    // A line still being received that is shown, after `stamp`, below
    // everything queued until it is replaced (a hex dump's line of sixteen
    // bytes, of which some have come). Empty: none.
    void setTail(const QString &stamp, const QString &line);
    // Puts everything queued into the pane now, for example before the
    // program adds a line of its own below it.
    void showAll();
    // Empties the pane and drops whatever is still queued.
    void clear();
    // Whether `bytes` more, and what follows them, may wait in the driver
    // until the next update instead of being queued here: only while the
    // pane waits out its pace at a trickle, where the last update and what
    // is queued came of less than a tty's own read buffer holds. Each byte
    // is shown as `charsPerByte` characters (a hex dump's four and more).
    bool canWaitInDriver(qint64 bytes, qreal charsPerByte = 1) const;
    // Whether text that arrives now waits for an update already due.
    bool isWaitingOutPace() const { return showScheduled && showIsPaced; }

Q_SIGNALS:
    // The pane is about to take what is queued: text still on its way can
    // join it now.
    void aboutToShow();

private:
    void insertOwnLine(const QString &line, const QString &stamp, OwnLine kind);
    void emptyQueue();
    void scheduleShow();
    void showDue();
    bool hasUnshownText() const;
    void showNextPiece();
    void insertStyled(QTextCursor &cursor, QStringView text, PaneEnd &end);
    PaneEnd paneEnd() const;
    void repaintFrom(int position);
    void removeTail(QTextCursor &cursor);
    void insertTail(QTextCursor &cursor);

    QPlainTextEdit *pane = nullptr;
    PaneLayout *layout = nullptr;
    PaneScrollBar *scrollBar = nullptr;
    PaneReading *reading = nullptr;
    // What lies before shownUpTo is in the pane already.
    QString received;
    int shownUpTo = 0;
    // Where the style changes in what is queued, by position in `received`,
    // and the style of the text at shownUpTo.
    QVector<StyleChange> styles;
    int nextStyle = 0;
    TextStyle shownStyle;
    PaneFormats formats;
    bool showScheduled = false;
    bool showIsPaced = false;
    int lastUpdateLength = 0;
    QElapsedTimer lastShown;
    // The line in progress, and how much of the pane's end it takes now.
    QString tailStamp;
    QString tailLine;
    int tailShown = 0;
    bool tailChanged = false;
};

#endif // PACEDDISPLAY_H
