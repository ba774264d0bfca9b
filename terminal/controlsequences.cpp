#include "controlsequences.h"

#include <QVarLengthArray>

#include <algorithm>

namespace {

constexpr char16_t escape = 0x1B;
constexpr char16_t bell = 0x07;
// The 8-bit forms of CSI, OSC, DCS, SOS, PM, APC and ST, as a device that
// sends them in UTF-8 would.
constexpr char16_t csi8 = 0x9B;
constexpr char16_t osc8 = 0x9D;
constexpr char16_t dcs8 = 0x90;
constexpr char16_t sos8 = 0x98;
constexpr char16_t pm8 = 0x9E;
constexpr char16_t apc8 = 0x9F;
constexpr char16_t st8 = 0x9C;

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool needsAttention(QChar c)
{
    const char16_t u = c.unicode();
    return isControl(u) && u != u'\n' && u != u'\t';
}

bool isIntermediate(char16_t c)
{
    return c >= 0x20 && c <= 0x2F;
}

// One parameter of an SGR sequence with its sub-parameters (38:2::255:0:0).
using Parameter = QVarLengthArray<int, 6>;
using Parameters = QVarLengthArray<Parameter, 8>;

Parameters parametersOf(const QString &sequence)
{
    Parameters parameters;
    parameters.append(Parameter{0});
    for (const QChar c : sequence) {
        if (c == u';') {
            parameters.append(Parameter{0});
        } else if (c == u':') {
            parameters.last().append(0);
        } else if (c.isDigit()) {
            int &value = parameters.last().last();
            value = qMin(value * 10 + (c.unicode() - u'0'), 0xFFFF);
        }
    }
    return parameters;
}

bool isByte(int value)
{
    return value >= 0 && value <= 255;
}

// 38 and 48: 5;n or 2;r;g;b after it, or the same as sub-parameters
// (38:5:n, 38:2:r:g:b, 38:2:space:r:g:b). Moves `at` past what it used.
TextColour extendedColour(const Parameters &parameters, int &at)
{
    const Parameter &own = parameters.at(at);
    QVarLengthArray<int, 6> values;
    if (own.size() > 1) {
        values.append(own.constData() + 1, own.size() - 1);
        if (values.at(0) == 2 && values.size() >= 5)
            values.remove(1);
    } else {
        const int kind = at + 1 < parameters.size() ? parameters.at(at + 1).at(0) : -1;
        const int needed = kind == 5 ? 1 : kind == 2 ? 3 : 0;
        for (int i = 1; i <= needed + 1 && at + i < parameters.size(); ++i)
            values.append(parameters.at(at + i).at(0));
        at += int(values.size());
    }
    if (values.size() >= 2 && values.at(0) == 5 && isByte(values.at(1)))
        return TextColour::indexed(values.at(1));
    if (values.size() >= 4 && values.at(0) == 2 && isByte(values.at(1)) && isByte(values.at(2)) &&
        isByte(values.at(3)))
        return TextColour::rgb(values.at(1), values.at(2), values.at(3));
    return {TextColour::Default, 0xFFFFFFFF};
}

bool isColour(const TextColour &colour)
{
    return colour.value != 0xFFFFFFFF;
}

} // namespace

void ControlSequences::reset()
{
    state = State::Ground;
    sequence.clear();
    style = TextStyle();
    lineIsEmpty = true;
    lineEndedAtCr = false;
}

// Plain text, as most devices send all day, passes through as it is: one
// scan for the characters that mean anything here, and no copy.
bool ControlSequences::isPlain(const QString &text) const
{
    if (state != State::Ground || (lineEndedAtCr && text.startsWith(u'\n')))
        return false;
    const QChar *c = text.constData();
    const QChar *end = c + text.size();
    for (; c != end; ++c) {
        if (needsAttention(*c))
            return false;
    }
    return true;
}

StyledText ControlSequences::interpret(const QString &text)
{
    StyledText out;
    if (text.isEmpty())
        return out;
    if (isPlain(text)) {
        out.text = text;
        if (style != shownStyle) {
            out.changes.append({0, style});
            shownStyle = style;
        }
        const QChar last = text.back();
        lineIsEmpty =
            last == u'\n' || last == QChar::LineSeparator || last == QChar::ParagraphSeparator;
        lineEndedAtCr = false;
        return out;
    }
    out.text.reserve(text.size());
    for (const QChar c : text)
        step(c, out);
    return out;
}

void ControlSequences::step(QChar c, StyledText &out)
{
    const char16_t u = c.unicode();
    switch (state) {
    case State::Ground:
        if (u == escape)
            startEscape();
        else if (u == csi8)
            startCsi();
        else if (u == osc8)
            startString(true);
        else if (u == dcs8 || u == sos8 || u == pm8 || u == apc8)
            startString(false);
        else if (isControl(u))
            execute(c, out);
        else
            put(c, out);
        return;
    case State::Escape:
        if (u == u'[') {
            startCsi();
        } else if (u == u']') {
            startString(true);
        } else if (u == u'P' || u == u'X' || u == u'^' || u == u'_') {
            startString(false);
        } else if (u == escape) {
            startEscape();
        } else if (isIntermediate(u)) {
            state = State::EscapeIntermediate;
            sequence.append(c);
        } else if (u >= 0x30 && u <= 0x7E) {
            state = State::Ground; // ESC c, ESC =, ESC 7 and the like
        } else if (isControl(u)) {
            execute(c, out);
        } else {
            state = State::Ground;
            put(c, out);
        }
        return;
    case State::EscapeIntermediate:
        if (isIntermediate(u) && sequence.size() < longestSequence) {
            sequence.append(c);
        } else if (u >= 0x30 && u <= 0x7E) {
            state = State::Ground; // ESC ( B
        } else if (u == escape) {
            startEscape();
        } else if (isControl(u)) {
            execute(c, out);
        } else {
            state = State::Ground;
            put(c, out);
        }
        return;
    case State::Csi:
        if (u >= 0x40 && u <= 0x7E) {
            dispatchCsi(c);
            state = State::Ground;
        } else if (u >= 0x20 && u <= 0x3F) {
            sequence.append(c);
            // A sequence this long lost its final byte; what follows shows.
            if (sequence.size() >= longestSequence)
                state = State::Ground;
        } else if (u == escape) {
            startEscape();
        } else if (isControl(u)) {
            execute(c, out);
        } else {
            state = State::Ground;
            put(c, out);
        }
        return;
    case State::String:
        if ((u == bell && stringEndsAtBell) || u == st8) {
            state = State::Ground;
        } else if (u == escape) {
            state = State::StringEscape;
        } else {
            if (u == u'\n' || u == u'\r')
                execute(c, out);
            if (++stringLength >= longestString)
                state = State::Ground;
        }
        return;
    case State::StringEscape:
        // ESC \ ends the string; an ESC followed by anything else starts a
        // sequence of its own.
        state = State::Ground;
        if (u != u'\\') {
            startEscape();
            step(c, out);
        }
        return;
    }
}

void ControlSequences::startEscape()
{
    state = State::Escape;
    sequence.clear();
}

void ControlSequences::startCsi()
{
    state = State::Csi;
    sequence.clear();
}

void ControlSequences::startString(bool endsAtBell)
{
    state = State::String;
    stringEndsAtBell = endsAtBell;
    stringLength = 0;
}

// Line breaks and tabs do their work; BEL, BS, VT, FF and the other
// controls are dropped.
void ControlSequences::execute(QChar c, StyledText &out)
{
    if (c == u'\n') {
        if (lineEndedAtCr) {
            lineEndedAtCr = false;
            return;
        }
        put(c, out);
        lineIsEmpty = true;
    } else if (c == u'\t') {
        put(c, out);
    } else if (c == u'\r') {
        if (lineIsEmpty)
            return;
        put(u'\n', out);
        lineIsEmpty = true;
        lineEndedAtCr = true;
    }
}

void ControlSequences::put(QChar c, StyledText &out)
{
    if (style != shownStyle) {
        if (!out.changes.isEmpty() && out.changes.last().at == out.text.size())
            out.changes.last().style = style;
        else
            out.changes.append({int(out.text.size()), style});
        shownStyle = style;
    }
    out.text.append(c);
    if (c != u'\n') {
        lineIsEmpty = c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        lineEndedAtCr = false;
    }
}

void ControlSequences::dispatchCsi(QChar final)
{
    // Only SGR changes what is shown. Private (ESC[?...m) and intermediate
    // forms are other commands.
    const bool plain =
        sequence.isEmpty() || (sequence.at(0).unicode() < u'<' &&
                               std::none_of(sequence.begin(), sequence.end(),
                                            [](QChar c) { return isIntermediate(c.unicode()); }));
    if (final == u'm' && plain)
        selectGraphicRendition();
    sequence.clear();
}

void ControlSequences::selectGraphicRendition()
{
    const Parameters parameters = parametersOf(sequence);
    for (int at = 0; at < parameters.size(); ++at) {
        const int p = parameters.at(at).at(0);
        if (p == 0) {
            style = TextStyle();
        } else if (p == 1) {
            style.set(TextStyle::Bold, true);
        } else if (p == 2) {
            style.set(TextStyle::Faint, true);
        } else if (p == 3) {
            style.set(TextStyle::Italic, true);
        } else if (p == 4) {
            // 4:0 is "not underlined", 4:1 to 4:5 the kinds of underline.
            const Parameter &kind = parameters.at(at);
            style.set(TextStyle::Underline, kind.size() < 2 || kind.at(1) != 0);
        } else if (p == 7) {
            style.set(TextStyle::Reverse, true);
        } else if (p == 22) {
            style.set(TextStyle::Bold, false);
            style.set(TextStyle::Faint, false);
        } else if (p == 23) {
            style.set(TextStyle::Italic, false);
        } else if (p == 24) {
            style.set(TextStyle::Underline, false);
        } else if (p == 27) {
            style.set(TextStyle::Reverse, false);
        } else if (p >= 30 && p <= 37) {
            style.foreground = TextColour::indexed(p - 30);
        } else if (p >= 90 && p <= 97) {
            style.foreground = TextColour::indexed(p - 90 + 8);
        } else if (p >= 40 && p <= 47) {
            style.background = TextColour::indexed(p - 40);
        } else if (p >= 100 && p <= 107) {
            style.background = TextColour::indexed(p - 100 + 8);
        } else if (p == 39) {
            style.foreground = TextColour();
        } else if (p == 49) {
            style.background = TextColour();
        } else if (p == 38 || p == 48) {
            const TextColour colour = extendedColour(parameters, at);
            if (isColour(colour))
                (p == 38 ? style.foreground : style.background) = colour;
        }
        // Anything else (blinking, fonts, frames) is not shown.
    }
}
