#include "panezoom.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <iterator>

// As a browser's steps: fine near the normal size, coarser far from it.
const int PaneZoom::steps[] = {50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};
const int PaneZoom::stepCount = int(std::size(PaneZoom::steps));

namespace {

// By what is drawn: QFontInfo::fixedPitch says false of Noto Sans Mono,
// Debian's monospace, whose characters are all one width.
bool drawsFixedWidth(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(u'W');
    return metrics.horizontalAdvance(u'i') == width && metrics.horizontalAdvance(u'.') == width;
}

// A platform without a theme of its own (Qt's offscreen and minimal ones, a
// bare X server with no desktop's settings) gives its general font as the
// fixed one, and Wine a Courier New it draws in a proportional face: then
// the first of the usual fixed-width families that is there.
QFont fixedFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (drawsFixedWidth(font))
        return font;
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    for (const char *family : {"monospace", "DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono",
                               "Consolas", "Cascadia Mono", "Lucida Console"}) {
        font.setFamily(QString::fromLatin1(family));
        if (drawsFixedWidth(font))
            return font;
    }
    return font;
}

} // namespace

PaneZoom::PaneZoom(QPlainTextEdit *pane) : QObject(pane), pane(pane)
{
    base = fixedFont();
    const QFont windowFont = pane->window()->font();
    if (windowFont.pointSizeF() > 0)
        base.setPointSizeF(windowFont.pointSizeF());
    else if (windowFont.pixelSize() > 0)
        base.setPixelSize(windowFont.pixelSize());
    base.setStyleStrategy(pane->font().styleStrategy());
    step = int(std::find(steps, steps + stepCount, normal) - steps);
    pane->setFont(base);
    // Qt's own Ctrl+wheel zoom of a read-only pane would go round the steps
    // and the stored size.
    pane->viewport()->installEventFilter(this);
}

void PaneZoom::setPercent(int percent)
{
    int nearest = 0;
    for (int i = 1; i < stepCount; ++i) {
        if (std::abs(steps[i] - percent) < std::abs(steps[nearest] - percent))
            nearest = i;
    }
    setStep(nearest);
}

void PaneZoom::setStep(int next)
{
    next = qBound(0, next, stepCount - 1);
    if (next == step)
        return;
    step = next;
    // The style strategy the pane's font has by now (drawn without shaping)
    // is kept.
    QFont font = pane->font();
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * steps[step] / 100);
    else
        font.setPixelSize(qMax(1, base.pixelSize() * steps[step] / 100));
    pane->setFont(font);
    Q_EMIT changed(steps[step]);
}

bool PaneZoom::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto *wheel = static_cast<QWheelEvent *>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    wheelDelta += wheel->angleDelta().y();
    // One step per notch of a wheel.
    while (wheelDelta >= 120) {
        wheelDelta -= 120;
        zoomIn();
    }
    while (wheelDelta <= -120) {
        wheelDelta += 120;
        zoomOut();
    }
    return true;
}
