#ifndef PANECOLOURS_H
#define PANECOLOURS_H

#include "textstyle.h"

#include <QColor>
#include <QHash>
#include <QTextCharFormat>

class QPalette;

// What a device's colours look like in the pane. The sixteen basic colours
// are xterm's, the rest the usual 6x6x6 cube and grey ramp. A colour too
// close to what it is drawn on is moved away from it, lighter or darker,
// until it stands out by at least `minimumContrast` (WCAG AA for text), as
// VS Code's terminal does: yellow warnings stay readable on a white pane,
// blue ones on a black pane.
namespace PaneColours {

constexpr double minimumContrast = 4.5;

QColor indexed(int index);
// WCAG 2 contrast ratio, 1 to 21.
double contrast(const QColor &a, const QColor &b);
// `colour`, or the nearest lighter or darker one with the contrast.
QColor readableOn(const QColor &background, const QColor &colour);

} // namespace PaneColours

// The character formats for styles, worked out against the pane's palette
// once per style.
class PaneFormats
{
public:
    // An empty format for the pane's own style: the pane's own colours.
    QTextCharFormat formatFor(const TextStyle &style, const QPalette &palette);

private:
    QRgb base = 0;
    QRgb text = 0;
    QHash<quint64, QTextCharFormat> formats;
};

#endif // PANECOLOURS_H
