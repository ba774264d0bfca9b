#include "panescrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

PaneScrollBar::PaneScrollBar(QWidget *parent) : QScrollBar(Qt::Vertical, parent) {}

namespace {
PaneScrollBar *heldBar = nullptr;
QAccessible::UpdateHandler handlerBeforeHold = nullptr;
} // namespace

void PaneScrollBar::hold(bool held)
{
    if (held) {
        heldBar = this;
        handlerBeforeHold = QAccessible::installUpdateHandler(announceUnlessHeld);
    } else {
        QAccessible::installUpdateHandler(handlerBeforeHold);
        heldBar = nullptr;
    }
    if (held || !movedWhileHeld)
        return;
    movedWhileHeld = false;
    const Look now = look();
    if (now == painted)
        return;
    if (now.atStart != painted.atStart || now.atEnd != painted.atEnd) {
        update();
        return;
    }
    // A slider that only moved or shrank is drawn again where it was and
    // where it is, with a margin as wide as the bar: a style's border or
    // shadow around it reaches beyond its rectangle (Fusion's by a pixel or
    // two). The whole bar is as tall as the pane, and on Qt 6 painting that
    // much is handed to a thread pool.
    const int margin = width();
    update(now.slider.united(painted.slider).adjusted(0, -margin, 0, margin));
}

// Everything else goes on as it would have: to the handler there was, or,
// with none, the way Qt announces events without one.
void PaneScrollBar::announceUnlessHeld(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::ValueChanged && event->object() == heldBar)
        return;
    if (handlerBeforeHold) {
        handlerBeforeHold(event);
        return;
    }
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(announceUnlessHeld);
}

void PaneScrollBar::sliderChange(SliderChange change)
{
    // Steps and orientation, and a slider the person drags, are drawn as
    // QScrollBar draws them.
    const bool moved = change == SliderRangeChange || change == SliderValueChange;
    if (heldBar == this && moved && !isSliderDown()) {
        movedWhileHeld = true;
        return;
    }
    QScrollBar::sliderChange(change);
}

void PaneScrollBar::paintEvent(QPaintEvent *event)
{
    painted = look();
    QScrollBar::paintEvent(event);
}

PaneScrollBar::Look PaneScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    Look look;
    look.slider =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.atStart = option.sliderValue == option.minimum;
    look.atEnd = option.sliderValue == option.maximum;
    return look;
}
