#include "historylineedit.h"

#include <QKeyEvent>

namespace {
constexpr int maxHistory = 10;
}

historyLineEdit::historyLineEdit(QWidget *parent) : QLineEdit(parent) {}

// Modifiers are ignored on purpose: Shift+Up and Ctrl+Up recall as Up does.
void historyLineEdit::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        historyUp();
        event->accept();
        break;
    case Qt::Key_Down:
        historyDown();
        event->accept();
        break;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

// Both directions show the entry at the current position before moving, so
// Down right after Up shows the entry the next Up would have shown.
void historyLineEdit::historyUp()
{
    if (history.isEmpty())
        return;
    if (historyIndex != -1)
        setText(history.at(historyIndex));
    if (historyIndex != history.size() - 1)
        ++historyIndex;
}

void historyLineEdit::historyDown()
{
    if (history.isEmpty())
        return;
    if (historyIndex == -1) {
        clear();
        return;
    }
    setText(history.at(historyIndex));
    --historyIndex;
}

void historyLineEdit::addToHistory()
{
    history.prepend(text());
    clear();
    historyIndex = 0;
    if (history.size() > maxHistory)
        history.removeLast();
}
