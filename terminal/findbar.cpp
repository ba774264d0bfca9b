#include "findbar.h"

#include "announcer.h"
#include "panefinder.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>

FindBar::FindBar(const Controls &controls, PaneFinder *finder, Announcer *announcer,
                 QObject *parent)
    : QObject(parent), controls(controls), finder(finder), announcer(announcer)
{
    controls.bar->hide();
    connect(controls.find, &QAction::triggered, this, &FindBar::open);
    connect(controls.findNext, &QAction::triggered, this, &FindBar::goNext);
    connect(controls.findPrevious, &QAction::triggered, this, &FindBar::goPrevious);
    connect(controls.next, &QToolButton::clicked, this, &FindBar::goNext);
    connect(controls.previous, &QToolButton::clicked, this, &FindBar::goPrevious);
    connect(controls.close, &QToolButton::clicked, this, &FindBar::close);
    connect(controls.text, &QLineEdit::textChanged, this, [this](const QString &text) {
        sayWhenComplete = true;
        this->finder->find(text);
    });
    connect(finder, &PaneFinder::resultChanged, this, &FindBar::showResult);
    controls.bar->installEventFilter(this);
    controls.text->installEventFilter(this);
}

// "3 of 1,024" in the person's language; the count grouped even where the
// language leaves numbers bare by default (the C locale).
QString FindBar::countText(int current, int total, bool complete)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (!complete)
        return tr("%1 so far").arg(locale.toString(total));
    if (total == 0)
        return tr("No matches");
    if (current == 0)
        return tr("%1 matches").arg(locale.toString(total));
    return tr("%1 of %2").arg(locale.toString(current), locale.toString(total));
}

void FindBar::open()
{
    QWidget *focus = QApplication::focusWidget();
    if (!controls.bar->isVisible() || !controls.bar->isAncestorOf(focus))
        focusBefore = focus;
    const bool wasOpen = controls.bar->isVisible();
    controls.bar->show();
    controls.text->setFocus(Qt::ShortcutFocusReason);
    controls.text->selectAll();
    // Opened again, it looks again from where the person is now.
    if (!wasOpen && !controls.text->text().isEmpty()) {
        sayWhenComplete = true;
        finder->find(controls.text->text());
    }
}

void FindBar::close()
{
    if (!controls.bar->isVisible())
        return;
    finder->stop();
    const bool hadFocus = controls.bar->isAncestorOf(QApplication::focusWidget());
    controls.bar->hide();
    if (hadFocus && focusBefore)
        focusBefore->setFocus(Qt::OtherFocusReason);
    said.clear();
}

void FindBar::goNext()
{
    go(&PaneFinder::next);
}

void FindBar::goPrevious()
{
    go(&PaneFinder::previous);
}

// F3 with the bar closed, or nothing typed, opens it.
void FindBar::go(void (PaneFinder::*step)())
{
    if (!controls.bar->isVisible() || controls.text->text().isEmpty()) {
        open();
        return;
    }
    sayWhenComplete = true;
    said.clear();
    (finder->*step)();
}

void FindBar::showResult()
{
    if (controls.text->text().isEmpty()) {
        controls.count->clear();
        return;
    }
    const QString text = countText(finder->current(), finder->total(), finder->isComplete());
    controls.count->setText(text);
    // Once per answer: the count growing while the device talks is not
    // read out at every update.
    if (sayWhenComplete && finder->isComplete() && text != said) {
        sayWhenComplete = false;
        said = text;
        announcer->say(text);
    }
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool isReturn = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool isEscape = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
    if (event->type() == QEvent::ShortcutOverride) {
        if (isEscape)
            event->accept();
        return false;
    }
    if (isEscape) {
        close();
        return true;
    }
    if (isReturn && watched == controls.text) {
        if (key->modifiers() & Qt::ShiftModifier)
            goPrevious();
        else
            goNext();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
