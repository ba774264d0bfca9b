#ifndef PANELAYOUT_H
#define PANELAYOUT_H

#include <QPlainTextDocumentLayout>

class QPainter;
class QTextBlock;

// The output pane's document layout: Qt's plain-text layout, with two
// differences.
//
// While repaints are held, a change to the document asks for no repaint of
// its own; the display that holds them repaints what changed. Qt's repaints
// the whole view whenever a paragraph gains a line or more than one
// paragraph is added, which is nearly every time received text arrives: at
// a steady trickle that meant painting the whole pane many times a second,
// although only its last lines were new.
//
// The newest paragraphs keep the glyphs their layout worked out. Qt throws
// them away once a paragraph is laid out and works them out again to paint
// it, and again for the cursor's place in it: new text is shaped twice or
// three times over, though it is painted once, just after it arrived. Older
// paragraphs let theirs go, as Qt's do, so a long session costs no more.
class PaneLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT

public:
    explicit PaneLayout(QTextDocument *document);

    void holdRepaints(bool hold) { repaintsHeld = hold; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    // About two updates' worth of paragraphs at the fastest trickle.
    static constexpr int newestBlocks = 8;

    void keepGlyphsOfNewestBlocks();
    static void letGlyphsGo(const QTextBlock &block, QPainter &nowhere);

    bool repaintsHeld = false;
    // The blocks that keep their glyphs, by number.
    int glyphsKeptFrom = 0;
    int glyphsKeptUpTo = -1;
};

#endif // PANELAYOUT_H
