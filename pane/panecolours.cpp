#include "panecolours.h"

#include <QPalette>

#include <cmath>

namespace {

double channelLuminance(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    return 0.2126 * channelLuminance(colour.red()) + 0.7152 * channelLuminance(colour.green()) +
           0.0722 * channelLuminance(colour.blue());
}

// A tenth of the way to black, or to white, at each step, as far as it must.
QColor darkened(const QColor &background, QColor colour)
{
    while (PaneColours::contrast(background, colour) < PaneColours::minimumContrast &&
           (colour.red() > 0 || colour.green() > 0 || colour.blue() > 0)) {
        colour.setRgb(int(colour.red() * 0.9), int(colour.green() * 0.9), int(colour.blue() * 0.9));
    }
    return colour;
}

QColor lightened(const QColor &background, QColor colour)
{
    const auto step = [](int c) { return qMin(255, c + int(std::ceil((255 - c) * 0.1))); };
    while (PaneColours::contrast(background, colour) < PaneColours::minimumContrast &&
           (colour.red() < 255 || colour.green() < 255 || colour.blue() < 255)) {
        colour.setRgb(step(colour.red()), step(colour.green()), step(colour.blue()));
    }
    return colour;
}

QColor colourOf(TextColour colour, const QColor &otherwise)
{
    switch (colour.kind) {
    case TextColour::Indexed:
        return PaneColours::indexed(int(colour.value));
    case TextColour::Rgb:
        return QColor(QRgb(colour.value));
    case TextColour::Default:
        break;
    }
    return otherwise;
}

quint64 keyOf(const TextStyle &style)
{
    const auto part = [](TextColour c) { return quint64(c.kind) << 24 | c.value; };
    return quint64(style.attributes) << 52 | part(style.foreground) << 26 | part(style.background);
}

} // namespace

QColor PaneColours::indexed(int index)
{
    static const QRgb basic[16] = {0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd,
                                   0x00cdcd, 0xe5e5e5, 0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00,
                                   0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff};
    if (index < 16)
        return QColor(basic[qMax(0, index)]);
    if (index < 232) {
        const auto level = [](int v) { return v == 0 ? 0 : 55 + 40 * v; };
        const int cube = index - 16;
        return QColor(level(cube / 36), level(cube / 6 % 6), level(cube % 6));
    }
    const int grey = 8 + 10 * (qMin(index, 255) - 232);
    return QColor(grey, grey, grey);
}

double PaneColours::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor PaneColours::readableOn(const QColor &background, const QColor &colour)
{
    if (contrast(background, colour) >= minimumContrast)
        return colour;
    // Away from the background first; if that runs out before it is
    // readable (a mid grey), the other way, whichever stands out more.
    const bool darker = luminance(colour) < luminance(background);
    const QColor first = darker ? darkened(background, colour) : lightened(background, colour);
    if (contrast(background, first) >= minimumContrast)
        return first;
    const QColor second = darker ? lightened(background, colour) : darkened(background, colour);
    return contrast(background, first) >= contrast(background, second) ? first : second;
}

QTextCharFormat PaneFormats::formatFor(const TextStyle &style, const QPalette &palette)
{
    if (style.isDefault())
        return QTextCharFormat();
    const QColor paneBase = palette.color(QPalette::Base);
    const QColor paneText = palette.color(QPalette::Text);
    if (paneBase.rgb() != base || paneText.rgb() != text) {
        formats.clear();
        base = paneBase.rgb();
        text = paneText.rgb();
    }
    const quint64 key = keyOf(style);
    const auto known = formats.constFind(key);
    if (known != formats.constEnd())
        return *known;

    QColor foreground = colourOf(style.foreground, paneText);
    QColor background = colourOf(style.background, paneBase);
    if (style.has(TextStyle::Reverse))
        std::swap(foreground, background);
    if (style.has(TextStyle::Faint))
        foreground = QColor((foreground.red() + background.red()) / 2,
                            (foreground.green() + background.green()) / 2,
                            (foreground.blue() + background.blue()) / 2);
    QTextCharFormat format;
    // The pane's own colours are left to the palette; any colour a device
    // asked for is made readable.
    const bool ownColours = style.foreground.kind == TextColour::Default &&
                            style.background.kind == TextColour::Default &&
                            !style.has(TextStyle::Reverse) && !style.has(TextStyle::Faint);
    if (!ownColours)
        format.setForeground(PaneColours::readableOn(background, foreground));
    if (background != paneBase || style.has(TextStyle::Reverse))
        format.setBackground(background);
    if (style.has(TextStyle::Bold))
        format.setFontWeight(QFont::Bold);
    if (style.has(TextStyle::Italic))
        format.setFontItalic(true);
    if (style.has(TextStyle::Underline))
        format.setFontUnderline(true);
    formats.insert(key, format);
    return format;
}
