#include "panescrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

PaneScrollBar::PaneScrollBar(QWidget *parent) : QScrollBar(Qt::Vertical, parent) {}

void PaneScrollBar::holdRepaints(bool hold)
{
    repaintsHeld = hold;
    if (hold || !movedWhileHeld)
        return;
    movedWhileHeld = false;
    // Whole, as QScrollBar does: a style draws more than the slider where
    // it moved (Fusion's groove and arrows take a pixel or two of it).
    if (!(look() == painted))
        update();
}

void PaneScrollBar::sliderChange(SliderChange change)
{
    // Steps and orientation, and a slider the person drags, are drawn as
    // QScrollBar draws them.
    const bool moved = change == SliderRangeChange || change == SliderValueChange;
    if (repaintsHeld && moved && !isSliderDown()) {
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
