#include "panereading.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

PaneReading::PaneReading(QPlainTextEdit *pane)
    : QObject(pane), pane(pane), view(pane->viewport()), bar(pane->verticalScrollBar())
{
    pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Tab leaves the pane, as it leaves every other control.
    pane->setTabChangesFocus(true);
    connect(pane, &QPlainTextEdit::cursorPositionChanged, this, &PaneReading::caretMoved);
    connect(pane, &QPlainTextEdit::selectionChanged, this, &PaneReading::caretMoved);
    connect(bar, &QAbstractSlider::actionTriggered, this, &PaneReading::personScrolled);
    pane->installEventFilter(this);
    view->installEventFilter(this);
}

void PaneReading::caretMoved()
{
    if (ownMove)
        return;
    const QTextCursor caret = pane->textCursor();
    following = caret.atEnd() && !caret.hasSelection();
}

// Emitted by the bar for the wheel, a drag or a click on it, with the
// slider already where the person put it.
void PaneReading::personScrolled()
{
    if (!ownMove)
        following = bar->sliderPosition() >= bar->maximum();
}

namespace {

// Paragraph and line separators, as Qt's own copy turns them.
QString withLineBreaks(QString text)
{
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
        else if (c == QChar::Nbsp)
            c = u' ';
    }
    return text;
}

} // namespace

QString PaneReading::selectedText(const QPlainTextEdit &pane)
{
    return withLineBreaks(pane.textCursor().selectedText());
}

// The document's own text, one copy of each piece: a cursor's text of all of
// it gathers the same pieces one at a time and took most of a second for a
// session of 64 MiB.
QString PaneReading::allText(const QPlainTextEdit &pane)
{
    return withLineBreaks(pane.document()->toRawText());
}

void PaneReading::copy(bool toSelection)
{
    if (!pane->textCursor().hasSelection())
        return;
    QClipboard *clipboard = QApplication::clipboard();
    if (toSelection && !clipboard->supportsSelection())
        return;
    clipboard->setText(selectedText(*pane),
                       toSelection ? QClipboard::Selection : QClipboard::Clipboard);
}

void PaneReading::selectAll()
{
    QTextCursor all(pane->document());
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    pane->setTextCursor(all);
    copy(true);
}

void PaneReading::showContextMenu(QPoint at)
{
    QMenu *menu = pane->createStandardContextMenu(pane->viewport()->mapFromGlobal(at));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto actions = menu->actions();
    for (QAction *action : actions) {
        if (action->objectName() == QLatin1String("edit-copy")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this] { copy(false); });
        } else if (action->objectName() == QLatin1String("select-all")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &PaneReading::selectAll);
        }
    }
    menu->popup(at);
}

bool PaneReading::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view) {
        if (event->type() != QEvent::ContextMenu)
            return false;
        showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    const bool shortcut = event->type() == QEvent::ShortcutOverride;
    if (!shortcut && event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const bool copying = key->matches(QKeySequence::Copy);
    if (!copying && !key->matches(QKeySequence::SelectAll))
        return false;
    // Claimed before a shortcut of the window's can take it, done on the
    // key itself.
    event->accept();
    if (shortcut)
        return true;
    if (copying)
        copy(false);
    else
        selectAll();
    return true;
}
