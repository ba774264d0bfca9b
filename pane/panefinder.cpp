#include "panefinder.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

namespace {

// How long a pass of the event loop counts: the first as the person types
// (the keystroke's answer), the rest between the pane's own updates, well
// inside the window's longest stall.
constexpr int firstSliceMs = 10;
constexpr int sliceMs = 8;
// No more are highlighted in one view: a view full of one letter's matches
// is no help anyway.
constexpr int mostHighlighted = 2000;
constexpr int undecided = -2;

QColor mixed(const QColor &a, const QColor &b, qreal ofA)
{
    return QColor::fromRgbF(a.redF() * ofA + b.redF() * (1 - ofA),
                            a.greenF() * ofA + b.greenF() * (1 - ofA),
                            a.blueF() * ofA + b.blueF() * (1 - ofA));
}

} // namespace

PaneFinder::PaneFinder(QPlainTextEdit *pane) : QObject(pane), pane(pane)
{
    connect(pane->verticalScrollBar(), &QScrollBar::valueChanged, this, &PaneFinder::highlightView);
    pane->viewport()->installEventFilter(this);
}

bool PaneFinder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && !pattern.isEmpty())
        QTimer::singleShot(0, this, &PaneFinder::highlightView);
    return QObject::eventFilter(watched, event);
}

void PaneFinder::find(const QString &text)
{
    if (text.isEmpty()) {
        stop();
        Q_EMIT resultChanged();
        return;
    }
    // Typing on keeps to the match found so far, if it still matches.
    if (pattern.isEmpty())
        anchor = pane->textCursor().selectionStart();
    else if (match.hasSelection())
        anchor = match.selectionStart();
    pattern = text;
    caseRule = text == text.toLower() ? Qt::CaseInsensitive : Qt::CaseSensitive;
    restart();
}

void PaneFinder::restart()
{
    QTextDocument *document = pane->document();
    connect(document, &QTextDocument::contentsChange, this, &PaneFinder::documentChanged,
            Qt::UniqueConnection);
    counts.fill(-1, document->blockCount() - 1);
    counted = 0;
    uncounted = int(counts.size());
    lastBlockMatches = countIn(document->lastBlock().text());
    match = QTextCursor();
    seeking = true;
    seekForward = true;
    sweepAt = document->findBlock(anchor).blockNumber();
    sweep(firstSliceMs);
}

void PaneFinder::stop()
{
    if (pattern.isEmpty())
        return;
    disconnect(pane->document(), &QTextDocument::contentsChange, this,
               &PaneFinder::documentChanged);
    pattern.clear();
    counts.clear();
    counted = 0;
    uncounted = 0;
    lastBlockMatches = 0;
    match = QTextCursor();
    seeking = false;
    highlightView();
}

void PaneFinder::next()
{
    if (pattern.isEmpty())
        return;
    seek(match.hasSelection() ? match.selectionEnd() : pane->textCursor().position(), true);
}

void PaneFinder::previous()
{
    if (pattern.isEmpty())
        return;
    seek(match.hasSelection() ? match.selectionStart() : pane->textCursor().selectionStart(),
         false);
}

// A match found is selected at once; one that lies beyond paragraphs not yet
// counted is selected when the sweep has counted them.
void PaneFinder::seek(int from, bool forward)
{
    const int at = forward ? nextMatchFrom(from) : previousMatchBefore(from);
    if (at == undecided) {
        seeking = true;
        seekForward = forward;
        anchor = from;
        sweepAt = pane->document()->findBlock(from).blockNumber();
        scheduleSweep();
        Q_EMIT resultChanged();
        return;
    }
    seeking = false;
    if (at >= 0)
        select(at);
    Q_EMIT resultChanged();
}

int PaneFinder::total() const
{
    return counted + lastBlockMatches;
}

bool PaneFinder::isComplete() const
{
    return !pattern.isEmpty() && uncounted == 0;
}

int PaneFinder::current() const
{
    if (!match.hasSelection())
        return 0;
    const QTextBlock block = match.document()->findBlock(match.selectionStart());
    const int before = qMin(block.blockNumber(), int(counts.size()));
    int index = 0;
    for (int i = 0; i < before; ++i) {
        if (counts.at(i) < 0)
            return 0;
        index += counts.at(i);
    }
    const int offset = match.selectionStart() - block.position();
    const QVector<int> found = matchesIn(block.text());
    for (int at : found) {
        if (at >= offset)
            break;
        ++index;
    }
    return index + 1;
}

// Text joins the pane only at its end, and Clear empties it: what changed is
// the paragraph at `from` and everything after it.
void PaneFinder::documentChanged(int from, int, int)
{
    QTextDocument *document = pane->document();
    const int changed = qMax(0, document->findBlock(from).blockNumber());
    for (int i = changed; i < counts.size(); ++i) {
        if (counts.at(i) < 0)
            --uncounted;
        else
            counted -= counts.at(i);
    }
    if (changed < counts.size())
        counts.resize(changed);
    const bool sweptAll = uncounted == 0;
    while (counts.size() < document->blockCount() - 1) {
        counts.append(-1);
        ++uncounted;
    }
    lastBlockMatches = countIn(document->lastBlock().text());
    // Without a match (none yet, or the pane cleared), the first to arrive
    // is the match, as if the person had just typed.
    if (!match.hasSelection() && !seeking) {
        seeking = true;
        seekForward = true;
        anchor = qMin(from, document->characterCount() - 1);
    }
    if (sweptAll && uncounted > 0)
        sweepAt = changed;
    // The pane is in the middle of its update: the view is looked at, and a
    // match selected, once it is done.
    scheduleSweep();
    Q_EMIT resultChanged();
}

// Counting a long session waits for the next pass of the event loop at the
// end of each slice, so that the window, and the pane's updates, go on.
void PaneFinder::scheduleSweep()
{
    if (sweepScheduled)
        return;
    sweepScheduled = true;
    QTimer::singleShot(0, this, [this] {
        sweepScheduled = false;
        sweep(sliceMs);
    });
}

void PaneFinder::sweep(int forMs)
{
    if (pattern.isEmpty())
        return;
    QElapsedTimer slice;
    slice.start();
    const int finals = int(counts.size());
    QTextBlock block = pane->document()->findBlockByNumber(sweepAt < finals ? sweepAt : 0);
    while (uncounted > 0 && slice.elapsed() < forMs) {
        if (sweepAt >= finals) {
            sweepAt = 0;
            block = pane->document()->firstBlock();
        }
        if (counts.at(sweepAt) < 0) {
            const int found = countIn(block.text());
            counts[sweepAt] = found;
            counted += found;
            --uncounted;
        }
        ++sweepAt;
        block = block.next();
    }
    if (seeking)
        seek(anchor, seekForward);
    else
        Q_EMIT resultChanged();
    highlightView();
    if (uncounted > 0)
        scheduleSweep();
}

int PaneFinder::countIn(const QString &text) const
{
    int found = 0;
    const qsizetype length = pattern.size();
    for (qsizetype at = QStringView(text).indexOf(pattern, 0, caseRule); at >= 0;
         at = QStringView(text).indexOf(pattern, at + length, caseRule))
        ++found;
    return found;
}

QVector<int> PaneFinder::matchesIn(const QString &text) const
{
    QVector<int> found;
    const qsizetype length = pattern.size();
    for (qsizetype at = QStringView(text).indexOf(pattern, 0, caseRule); at >= 0;
         at = QStringView(text).indexOf(pattern, at + length, caseRule))
        found.append(int(at));
    return found;
}

// The first match at or after `position`, round the end if need be; -1 if
// there is none, undecided if a paragraph not yet counted comes first.
int PaneFinder::nextMatchFrom(int position) const
{
    const QTextDocument *document = pane->document();
    const QTextBlock start = document->findBlock(position);
    const QVector<int> here = matchesIn(start.text());
    for (int at : here) {
        if (start.position() + at >= position)
            return start.position() + at;
    }
    const int blocks = document->blockCount();
    for (int step = 1; step <= blocks; ++step) {
        const int i = (start.blockNumber() + step) % blocks;
        if (i < counts.size() && counts.at(i) == 0)
            continue;
        if (i < counts.size() && counts.at(i) < 0)
            return undecided;
        const QTextBlock block = document->findBlockByNumber(i);
        const QVector<int> found = matchesIn(block.text());
        if (!found.isEmpty())
            return block.position() + found.first();
    }
    return -1;
}

// The last match before `position`, round the start if need be.
int PaneFinder::previousMatchBefore(int position) const
{
    const QTextDocument *document = pane->document();
    const QTextBlock start = document->findBlock(position);
    const QVector<int> here = matchesIn(start.text());
    for (auto at = here.crbegin(); at != here.crend(); ++at) {
        if (start.position() + *at < position)
            return start.position() + *at;
    }
    const int blocks = document->blockCount();
    for (int step = 1; step <= blocks; ++step) {
        const int i = (start.blockNumber() - step + blocks) % blocks;
        if (i < counts.size() && counts.at(i) == 0)
            continue;
        if (i < counts.size() && counts.at(i) < 0)
            return undecided;
        const QTextBlock block = document->findBlockByNumber(i);
        const QVector<int> found = matchesIn(block.text());
        if (!found.isEmpty())
            return block.position() + found.last();
    }
    return -1;
}

// The pane's selection, scrolled into view; the person's, not the
// display's, so the view holds there while text arrives.
void PaneFinder::select(int position)
{
    QTextCursor cursor(pane->document());
    cursor.setPosition(position);
    cursor.setPosition(position + int(pattern.size()), QTextCursor::KeepAnchor);
    match = cursor;
    pane->setTextCursor(cursor);
    highlightView();
}

void PaneFinder::highlightView()
{
    QVector<QPair<int, int>> inView;
    if (!pattern.isEmpty()) {
        const QWidget *view = pane->viewport();
        QTextBlock block = pane->cursorForPosition(QPoint(0, 0)).block();
        const int bottom = pane->cursorForPosition(QPoint(view->width() - 1, view->height() - 1))
                               .block()
                               .blockNumber();
        for (; block.isValid() && block.blockNumber() <= bottom && inView.size() < mostHighlighted;
             block = block.next()) {
            const int number = block.blockNumber();
            if (number < counts.size() && counts.at(number) == 0)
                continue;
            const QVector<int> found = matchesIn(block.text());
            for (int at : found)
                inView.append({block.position() + at, int(pattern.size())});
        }
        inView.append({match.selectionStart(), match.selectionEnd()});
    }
    if (inView == highlighted)
        return;
    highlighted = inView;
    QList<QTextEdit::ExtraSelection> selections;
    if (!inView.isEmpty()) {
        const QPalette palette = pane->palette();
        QTextCharFormat others;
        others.setBackground(
            mixed(palette.color(QPalette::Highlight), palette.color(QPalette::Base), 0.35));
        QTextCharFormat current;
        current.setBackground(palette.color(QPalette::Highlight));
        current.setForeground(palette.color(QPalette::HighlightedText));
        for (int i = 0; i + 1 < inView.size(); ++i) {
            QTextCursor cursor(pane->document());
            cursor.setPosition(inView.at(i).first);
            cursor.setPosition(inView.at(i).first + inView.at(i).second, QTextCursor::KeepAnchor);
            const bool isMatch =
                cursor.selectionStart() == match.selectionStart() && match.hasSelection();
            selections.append({cursor, isMatch ? current : others});
        }
    }
    pane->setExtraSelections(selections);
}
