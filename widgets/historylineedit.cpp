#include "historylineedit.h"

#include <QKeyEvent>

namespace {

constexpr int maxHistory = 10;

// The control byte a key stands for on a terminal, or 0.
char controlByteOf(const QKeyEvent *key)
{
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return 0;
    switch (key->key()) {
    case Qt::Key_C:
        return 0x03;
    case Qt::Key_D:
        return 0x04;
    case Qt::Key_BracketRight:
        return 0x1d;
    default:
        return 0;
    }
}

bool isCopyWithShift(const QKeyEvent *key)
{
    return key->key() == Qt::Key_C &&
           (key->modifiers() & ~Qt::KeypadModifier) == (Qt::ControlModifier | Qt::ShiftModifier);
}

} // namespace

historyLineEdit::historyLineEdit(QWidget *parent) : QLineEdit(parent) {}

// The keys it takes for itself are not the window's shortcuts.
bool historyLineEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && sendsControlKeys) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (controlByteOf(key) || isCopyWithShift(key)) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

// Modifiers are ignored on purpose: Shift+Up and Ctrl+Up recall as Up does.
void historyLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (sendsControlKeys) {
        if (const char byte = controlByteOf(event)) {
            event->accept();
            Q_EMIT controlKeyTyped(byte);
            return;
        }
        if (isCopyWithShift(event)) {
            event->accept();
            copy();
            return;
        }
    }
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
