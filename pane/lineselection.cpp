#include "lineselection.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocumentFragment>

LineSelection::LineSelection(QPlainTextEdit *pane) : QObject(pane), pane(pane)
{
    pane->viewport()->installEventFilter(this);
}

bool LineSelection::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            sinceDoubleClick.start();
            doubleClickedAt = mouse->pos();
        }
        return false;
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!isThirdClick(mouse))
            return false;
        sinceDoubleClick.invalidate();
        selecting = true;
        selectLineAt(mouse->pos());
        return true;
    }
    case QEvent::MouseMove:
        // The pane would stretch its paragraph selection over the moves.
        return selecting;
    case QEvent::MouseButtonRelease:
        if (!selecting)
            return false;
        selecting = false;
        // What the pane itself does for a selection made with the mouse.
        if (QApplication::clipboard()->supportsSelection()) {
            QApplication::clipboard()->setText(pane->textCursor().selection().toPlainText(),
                                               QClipboard::Selection);
        }
        return true;
    default:
        return false;
    }
}

bool LineSelection::isThirdClick(const QMouseEvent *press) const
{
    return press->button() == Qt::LeftButton && sinceDoubleClick.isValid() &&
           sinceDoubleClick.elapsed() < QApplication::doubleClickInterval() &&
           (press->pos() - doubleClickedAt).manhattanLength() < QApplication::startDragDistance();
}

// From the line's start to the start of the next, as the pane selects a
// paragraph together with its break.
void LineSelection::selectLineAt(QPoint position)
{
    QTextCursor cursor = pane->cursorForPosition(position);
    const QTextBlock block = cursor.block();
    const QString text = block.text();
    const int at = cursor.positionInBlock();
    const int start = at == 0 ? 0 : int(text.lastIndexOf(QChar::LineSeparator, at - 1)) + 1;
    const int separator = int(text.indexOf(QChar::LineSeparator, at));
    const int end = separator < 0 ? int(text.size()) + 1 : separator + 1;
    const int lastPosition = pane->document()->characterCount() - 1;
    cursor.setPosition(block.position() + start);
    cursor.setPosition(qMin(block.position() + end, lastPosition), QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
}
