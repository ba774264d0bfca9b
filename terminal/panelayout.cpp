#include "panelayout.h"

#include <QSignalBlocker>

PaneLayout::PaneLayout(QTextDocument *document) : QPlainTextDocumentLayout(document) {}

void PaneLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
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
