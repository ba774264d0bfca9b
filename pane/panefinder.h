#ifndef PANEFINDER_H
#define PANEFINDER_H

#include <QObject>
#include <QPair>
#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <QVector>

class QTextBlock;

// Finds text in the pane while the device goes on adding to it. Every
// paragraph but the last is final once the pane has it (text only joins the
// end), so each is counted once, in slices between the window's other work:
// a 64 MiB session is counted within about a second and the window answers
// throughout. The sweep starts where the person is, so the match found as
// they type is the next one from there, found as soon as its paragraph is
// reached. Knowing how many matches each paragraph holds, going to the next
// one skips the paragraphs without any. The match is the pane's selection,
// which holds the view while text arrives, as any selection does; the
// matches in view are highlighted.
//
// Matches do not overlap and do not reach across a line: what is sought is
// one line of the input.
class PaneFinder : public QObject
{
    Q_OBJECT

public:
    // Watches the pane, which owns it.
    explicit PaneFinder(QPlainTextEdit *pane);

    // What to find, from where the person is, on: without a capital in it,
    // case does not matter. Empty stops the search.
    void find(const QString &text);
    // The match after (before) the current one, or after (before) the
    // caret, round the end (the start) if need be.
    void next();
    void previous();
    // The search is over: no highlights, no counting.
    void stop();

    // The matches counted so far, all of them once isComplete().
    int total() const;
    bool isComplete() const;
    // Where the selected match is among them, from 1; 0 while there is
    // none or while the matches before it are still being counted.
    int current() const;
    bool hasMatch() const { return match.hasSelection(); }

Q_SIGNALS:
    // The match, or the count, changed.
    void resultChanged();

private:
protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();
    void seek(int from, bool forward);
    void documentChanged(int from, int removed, int added);
    void scheduleSweep();
    void sweep(int forMs);
    int countIn(const QString &text) const;
    QVector<int> matchesIn(const QString &text) const;
    int nextMatchFrom(int position) const;
    int previousMatchBefore(int position) const;
    void select(int position);
    void highlightView();

    QPlainTextEdit *pane = nullptr;
    QString pattern;
    Qt::CaseSensitivity caseRule = Qt::CaseInsensitive;
    // Matches in each paragraph but the last, -1 while not yet counted.
    QVector<int> counts;
    int counted = 0;
    int uncounted = 0;
    int lastBlockMatches = 0;
    int sweepAt = 0;
    bool sweepScheduled = false;
    // Where the person was when they began typing: the match found as they
    // type is the first from here.
    int anchor = 0;
    bool seeking = false;
    bool seekForward = true;
    QTextCursor match;
    QVector<QPair<int, int>> highlighted;
};

#endif // PANEFINDER_H
