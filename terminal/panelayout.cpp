#include "panelayout.h"

#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>

PaneLayout::PaneLayout(QTextDocument *document) : QPlainTextDocumentLayout(document) {}

void PaneLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    if (!onlyChanges) {
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
    // Only the paragraphs that changed: received text goes in at the end,
    // so those are the last ones, and the pane scrolls the rest.
    const QTextBlock last = document()->findBlock(qMax(0, from + charsAdded - 1));
    for (QTextBlock block = document()->findBlock(from); block.isValid(); block = block.next()) {
        Q_EMIT updateBlock(block);
        if (block == last)
            break;
    }
}
