#include "paceddisplay.h"

#include "lineselection.h"
#include "panelayout.h"
#include "panereading.h"
#include "panescrollbar.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>

namespace {

// Characters the pane takes in one insert: about 15 ms of its work. Smaller
// pieces gave no shorter worst stall and made text without a place to wrap
// (a hex dump) half again as slow: every insert lays out the visible end.
constexpr int largestInsert = 256 * 1024;
// Characters of queue kept between updates. A buffer handed back and taken
// anew for each update is faulted in page by page every time, a third of
// what an 80-column burst cost; a burst's larger queue is handed back.
constexpr int keptQueue = 1024 * 1024;

} // namespace

PacedDisplay::PacedDisplay(QPlainTextEdit *pane, QObject *parent) : QObject(parent), pane(pane)
{
    // Latin and the other scripts that need no shaping are drawn straight
    // from the font's character map, as a terminal draws them, instead of
    // through HarfBuzz, which took a fifth of the program's time at a steady
    // trickle, shaping every line once to lay it out and again to paint it.
    // Scripts that need it (Arabic, the Indic scripts) are still shaped.
    QFont font = pane->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    pane->setFont(font);
    auto *document = new QTextDocument(pane);
    layout = new PaneLayout(document);
    document->setDocumentLayout(layout);
    document->setDefaultFont(pane->font());
    const bool undo = pane->isUndoRedoEnabled();
    pane->setDocument(document);
    pane->setUndoRedoEnabled(undo);
    scrollBar = new PaneScrollBar;
    pane->setVerticalScrollBar(scrollBar);
    // A triple click selects one line, however many share its paragraph.
    new LineSelection(pane);
    reading = new PaneReading(pane);
    // Wrapped at the pane's edge like a terminal's screen, not at the last
    // space: then adding text never moves a word off a line already laid
    // out, so the widest line never gets narrower. When it does, Qt's plain
    // text layout measures every paragraph of the document again, creating a
    // layout for each one: the longer the session, the longer the window
    // froze (up to a second at 64 MiB of short lines).
    pane->setWordWrapMode(QTextOption::WrapAnywhere);
    emptyQueue();
}

// Qt 5 keeps an emptied string's buffer only while its capacity is
// reserved; Qt 6 always does.
void PacedDisplay::emptyQueue()
{
    if (received.capacity() > keptQueue)
        received = QString();
    received.resize(0);
    if (received.capacity() < keptQueue)
        received.reserve(keptQueue);
}

void PacedDisplay::append(const StyledText &text)
{
    for (const StyleChange &change : text.changes)
        styles.append({int(received.size()) + change.at, change.style});
    received += text.text;
    scheduleShow();
}

void PacedDisplay::appendLine(const QString &line, const QString &stamp)
{
    insertOwnLine(line, stamp, OwnLine::Echo);
}

void PacedDisplay::appendNotice(const QString &line, const QString &stamp)
{
    insertOwnLine(line, stamp, OwnLine::Notice);
}

void PacedDisplay::insertOwnLine(const QString &line, const QString &stamp, OwnLine kind)
{
    showAll();
    QTextCursor end(pane->document());
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    // A notice needs no new paragraph where a line has just ended.
    const QString last = end.block().text();
    const bool atLineStart = last.isEmpty() || last.endsWith(QChar::LineSeparator);
    const OwnLineBreaks breaks = ownLineBreaks(kind, pane->document()->isEmpty(), atLineStart);
    // Explicit formats: the new paragraph would otherwise take the colours
    // of the device's last character.
    if (breaks.before)
        end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    if (!stamp.isEmpty())
        end.insertText(stamp, formats.formatFor(TextStyle::muted(), pane->palette()));
    end.insertText(line, QTextCharFormat());
    if (breaks.after)
        end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    reading->beginOwnMove();
    end.endEditBlock();
    if (reading->followsNewText())
        pane->setTextCursor(end);
    reading->endOwnMove();
}

void PacedDisplay::setTail(const QString &stamp, const QString &line)
{
    if (stamp == tailStamp && line == tailLine)
        return;
    tailStamp = line.isEmpty() ? QString() : stamp;
    tailLine = line;
    tailChanged = true;
    scheduleShow();
}

void PacedDisplay::removeTail(QTextCursor &cursor)
{
    if (tailShown == 0)
        return;
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, tailShown);
    cursor.removeSelectedText();
    tailShown = 0;
}

void PacedDisplay::insertTail(QTextCursor &cursor)
{
    cursor.movePosition(QTextCursor::End);
    if (!tailStamp.isEmpty())
        cursor.insertText(tailStamp, formats.formatFor(TextStyle::muted(), pane->palette()));
    cursor.insertText(tailLine, QTextCharFormat());
    tailShown = int(tailStamp.size() + tailLine.size());
    tailChanged = false;
}

void PacedDisplay::scheduleShow()
{
    if (showScheduled || !hasUnshownText())
        return;
    showScheduled = true;
    const int wait = waitBeforeShowing(lastShown.isValid() ? lastShown.elapsed() : -1);
    showIsPaced = wait > 0;
    QTimer::singleShot(wait, this, &PacedDisplay::showDue);
}

bool PacedDisplay::canWaitInDriver(qint64 bytes, qreal charsPerByte) const
{
    const qreal trickle = PacedDisplay::ttyReadBuffer * charsPerByte;
    return showScheduled && showIsPaced && lastUpdateLength < trickle &&
           received.size() - shownUpTo + bytes * charsPerByte < trickle;
}

int PacedDisplay::waitBeforeShowing(qint64 sinceShownMs)
{
    if (sinceShownMs < 0 || sinceShownMs >= streamPaceMs)
        return 0;
    return int(streamPaceMs - sinceShownMs);
}

// However fast the reads come in, one pass of the event loop inserts at most
// one piece, so the window keeps answering while a backlog is worked off.
void PacedDisplay::showDue()
{
    // Still scheduled while it is told, so that what joins now needs no
    // update of its own.
    if (showIsPaced) {
        showIsPaced = false;
        Q_EMIT aboutToShow();
    }
    showScheduled = false;
    if (!hasUnshownText())
        return;
    lastShown.start();
    lastUpdateLength = int(received.size()) - shownUpTo;
    showNextPiece();
    if (hasUnshownText()) {
        showScheduled = true;
        QTimer::singleShot(0, this, &PacedDisplay::showDue);
    }
}

void PacedDisplay::showAll()
{
    Q_EMIT aboutToShow();
    while (hasUnshownText())
        showNextPiece();
}

void PacedDisplay::clear()
{
    // The device's colour goes on after a Clear, as it does after the text
    // that is dropped.
    if (!styles.isEmpty())
        shownStyle = styles.last().style;
    styles.clear();
    nextStyle = 0;
    emptyQueue();
    shownUpTo = 0;
    tailStamp.clear();
    tailLine.clear();
    tailShown = 0;
    tailChanged = false;
    reading->beginOwnMove();
    pane->clear();
    reading->endOwnMove();
    reading->follow();
}

bool PacedDisplay::hasUnshownText() const
{
    return shownUpTo < received.size() || tailChanged;
}

void PacedDisplay::showNextPiece()
{
    int length = qMin(largestInsert, int(received.size()) - shownUpTo);
    // Both halves of a character outside the BMP go in together.
    if (shownUpTo + length < received.size() &&
        received.at(shownUpTo + length - 1).isHighSurrogate())
        --length;
    // At the end whatever the person selected or clicked. While they are at
    // the end, the caret goes along and the newest text stays in view; while
    // they read elsewhere, their caret, selection and view stay. In one edit
    // block, the caret works out where it stands once, when the pane scrolls
    // to it, instead of after every step: each time means shaping the last
    // line again.
    const int oldEnd = pane->document()->characterCount() - 1 - tailShown;
    const bool follow = reading->followsNewText();
    QTextCursor cursor = follow ? pane->textCursor() : QTextCursor(pane->document());
    reading->beginOwnMove();
    cursor.beginEditBlock();
    removeTail(cursor);
    PaneEnd end = paneEnd();
    cursor.movePosition(QTextCursor::End);
    insertStyled(cursor, QStringView(received).mid(shownUpTo, length), end);
    // The line in progress stays below all that is shown.
    if (shownUpTo + length == received.size() && !tailLine.isEmpty())
        insertTail(cursor);
    else if (tailLine.isEmpty())
        tailChanged = false;
    layout->holdRepaints(true);
    scrollBar->hold(true);
    cursor.endEditBlock();
    layout->holdRepaints(false);
    if (follow)
        pane->setTextCursor(cursor);
    reading->endOwnMove();
    scrollBar->hold(false);
    repaintFrom(oldEnd);
    shownUpTo += length;
    // Drop what is shown once it is most of the buffer, so that moving the
    // rest down costs no more than the pieces already shown.
    if (shownUpTo == received.size()) {
        emptyQueue();
        shownUpTo = 0;
        styles.clear();
        nextStyle = 0;
    } else if (shownUpTo > received.size() / 2) {
        received.remove(0, shownUpTo);
        styles.remove(0, nextStyle);
        nextStyle = 0;
        for (StyleChange &change : styles)
            change.at -= shownUpTo;
        shownUpTo = 0;
    }
}

// One insert for each run of one style; plain text, and a device that sends
// no colours, is one insert in the pane's own format.
void PacedDisplay::insertStyled(QTextCursor &cursor, QStringView text, PaneEnd &end)
{
    const int from = shownUpTo;
    const int to = from + int(text.size());
    int at = from;
    while (at < to) {
        while (nextStyle < styles.size() && styles.at(nextStyle).at <= at)
            shownStyle = styles.at(nextStyle++).style;
        const int runEnd = nextStyle < styles.size() ? qMin(to, styles.at(nextStyle).at) : to;
        cursor.insertText(
            layOutLines(text.mid(at - from, runEnd - at), end, longestLine, longestParagraph),
            formats.formatFor(shownStyle, pane->palette()));
        at = runEnd;
    }
}

// Text added at the end changes only the line it joins and what lies below
// it; what was above has moved up, and scrolling moved its pixels too.
void PacedDisplay::repaintFrom(int position)
{
    QTextCursor at(pane->document());
    at.setPosition(qMax(0, position - 1));
    QWidget *view = pane->viewport();
    const int top = qBound(0, pane->cursorRect(at).top(), view->height());
    view->update(0, top, view->width(), view->height() - top);
}

// Taken from the pane itself, as the echo lines go in beside the received text.
PaneEnd PacedDisplay::paneEnd() const
{
    const QString last = pane->document()->lastBlock().text();
    return {int(last.size()), int(last.size() - last.lastIndexOf(QChar::LineSeparator) - 1)};
}
