#ifndef TEXTSTYLE_H
#define TEXTSTYLE_H

#include <QString>
#include <QVector>

// A colour as a device names it: the pane's own, one of the 256 indexed
// colours (0-7 normal, 8-15 bright, a 6x6x6 cube, a grey ramp), or 24-bit.
struct TextColour {
    enum Kind : quint8 { Default, Indexed, Rgb };
    Kind kind = Default;
    // The index, or 0xRRGGBB.
    quint32 value = 0;

    static TextColour indexed(int index) { return {Indexed, quint32(index)}; }
    static TextColour rgb(int r, int g, int b) { return {Rgb, quint32(r << 16 | g << 8 | b)}; }
    bool operator==(TextColour other) const { return kind == other.kind && value == other.value; }
    bool operator!=(TextColour other) const { return !(*this == other); }
};

// How received text looks, as a device's SGR sequences set it.
struct TextStyle {
    enum Attribute : quint8 { Bold = 1, Faint = 2, Italic = 4, Underline = 8, Reverse = 16 };
    quint8 attributes = 0;
    TextColour foreground;
    TextColour background;

    // The pane's own colours, muted: the program's time stamps.
    static TextStyle muted()
    {
        TextStyle style;
        style.attributes = Faint;
        return style;
    }
    bool isDefault() const { return *this == TextStyle(); }
    bool has(Attribute attribute) const { return attributes & attribute; }
    void set(Attribute attribute, bool on)
    {
        attributes = on ? attributes | attribute : attributes & ~attribute;
    }
    bool operator==(const TextStyle &other) const
    {
        return attributes == other.attributes && foreground == other.foreground &&
               background == other.background;
    }
    bool operator!=(const TextStyle &other) const { return !(*this == other); }
};

// From `at` on, the text has this style.
struct StyleChange {
    int at = 0;
    TextStyle style;
};

// Received text for the pane, with where its style changes. Text before
// the first change keeps the style the text before it had.
struct StyledText {
    QString text;
    QVector<StyleChange> changes;
};

#endif // TEXTSTYLE_H
