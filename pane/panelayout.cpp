#include "panelayout.h"

#include <QImage>
#include <QPainter>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextLayout>

PaneLayout::PaneLayout(QTextDocument *document) : QPlainTextDocumentLayout(document) {}

void PaneLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    // Before Qt's layout, which lays the changed paragraph out at once.
    keepGlyphsOfNewestBlocks();
    if (!repaintsHeld) {
        QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
        return;
    }
    // The new size still reaches the pane, which sets its scroll bar by it.
    const QSizeF before = documentSize();
    {
        const QSignalBlocker noRepaints(this);
        QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
    }
    if (documentSize() != before)
        Q_EMIT documentSizeChanged(documentSize());
}

void PaneLayout::keepGlyphsOfNewestBlocks()
{
    const QTextDocument *doc = document();
    const int last = doc->blockCount() - 1;
    // Text goes in at the end, so the newest blocks are the last ones. Only
    // Clear removes any, and the pane is told of it with one block left.
    const int keepFrom = qMax(0, last - newestBlocks + 1);
    const int letGoUpTo = qMin(glyphsKeptUpTo, keepFrom - 1);
    if (glyphsKeptFrom <= letGoUpTo) {
        static QImage nowhere(1, 1, QImage::Format_RGB32);
        QPainter painter(&nowhere);
        for (int number = glyphsKeptFrom; number <= letGoUpTo; ++number)
            letGlyphsGo(doc->findBlockByNumber(number), painter);
    }
    for (QTextBlock block = doc->findBlockByNumber(keepFrom); block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
    glyphsKeptFrom = keepFrom;
    glyphsKeptUpTo = last;
}

// Qt frees what a layout worked out only when it lays the paragraph out or
// draws it with its cache off. Drawing none of its lines is the cheaper of
// the two, and leaves its lines as they are.
void PaneLayout::letGlyphsGo(const QTextBlock &block, QPainter &nowhere)
{
    QTextLayout *layout = block.layout();
    layout->setCacheEnabled(false);
    layout->draw(&nowhere, QPointF(), {}, QRectF(0, -1e9, 1, 1));
}
