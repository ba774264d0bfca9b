#ifndef PANEZOOM_H
#define PANEZOOM_H

#include <QFont>
#include <QObject>

class QPlainTextEdit;

// The pane's text: the system's fixed-width font, so that a memory dump,
// `ls -l` or a table lines up as on a terminal, at the size of the window's
// own font, which a person may make larger or smaller in steps (Ctrl+plus,
// Ctrl+minus, Ctrl+0, Ctrl+wheel over the pane). The window's other
// controls keep the desktop's font.
class PaneZoom : public QObject
{
    Q_OBJECT

public:
    // The sizes a step goes through, in percent of the window's font size.
    static const int steps[];
    static const int stepCount;
    static constexpr int normal = 100;

    // Sets the pane's font; the pane owns this object.
    explicit PaneZoom(QPlainTextEdit *pane);

    int percent() const { return steps[step]; }
    // The step nearest to `percent` (a stored size).
    void setPercent(int percent);
    void zoomIn() { setStep(step + 1); }
    void zoomOut() { setStep(step - 1); }
    void reset() { setPercent(normal); }
    bool canZoomIn() const { return step + 1 < stepCount; }
    bool canZoomOut() const { return step > 0; }

Q_SIGNALS:
    void changed(int percent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setStep(int next);

    QPlainTextEdit *pane = nullptr;
    QFont base;
    int step = 0;
    // A touchpad scrolls in fractions of a wheel's notch.
    int wheelDelta = 0;
};

#endif // PANEZOOM_H
