#ifndef PANESCROLLBAR_H
#define PANESCROLLBAR_H

#include <QAccessible>
#include <QRect>
#include <QScrollBar>

// The output pane's vertical scroll bar: a QScrollBar that follows received
// text quietly. Received text going in sets the range and then the value, and
// QScrollBar repaints itself whole for each, although at a steady trickle the
// slider has long since shrunk to its smallest and is back at the bottom once
// the update is over. Painting it every update cost more than a tenth of the
// program's time: the Fusion style draws a full-height groove, and Qt 6 hands
// its lines to a thread pool. So while the bar is held, it repaints only if
// what it shows has changed by the time it is released, and then only around
// the slider if that is all that moved.
//
// Nor does a held bar tell a screen reader that its value changed. The bar
// takes no focus and its moves say only that text arrived, which the pane's
// own text-inserted events say with the text; Orca and the accessibility bus
// spent more time on these moves, 25 a second, than on everything else
// together. The value is still there to be read, and the person's own
// scrolling is announced as ever.
class PaneScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit PaneScrollBar(QWidget *parent = nullptr);

    void hold(bool held);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // What the style draws from the range and the value: where the slider
    // is, and whether the arrows at either end can still move it.
    struct Look {
        QRect slider;
        bool atStart = false;
        bool atEnd = false;
        bool operator==(const Look &other) const
        {
            return slider == other.slider && atStart == other.atStart && atEnd == other.atEnd;
        }
    };
    Look look() const;
    static void announceUnlessHeld(QAccessibleEvent *event);

    bool movedWhileHeld = false;
    Look painted;
};

#endif // PANESCROLLBAR_H
