#include "controlsequences.h"

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

// The numbers of an SGR sequence in order, each marked as a parameter of
// its own or a sub-parameter of the one before (38:2::255:0:0); an empty
// one is 0. A sequence of separators alone has one more than its length.
struct Parameters {
    static constexpr int most = ControlSequences::longestSequence + 1;
    int value[most];
    bool sub[most];
    int count = 0;

    Parameters(const char16_t *sequence, int length)
    {
        value[0] = 0;
        sub[0] = false;
        count = 1;
        for (int i = 0; i < length; ++i) {
            const char16_t c = sequence[i];
            if ((c == u';' || c == u':') && count < most) {
                value[count] = 0;
                sub[count++] = c == u':';
            } else if (c >= u'0' && c <= u'9') {
                value[count - 1] = qMin(value[count - 1] * 10 + (c - u'0'), 0xFFFF);
            }
        }
    }
    // The parameter at `at` and its sub-parameters end before this.
    int groupEnd(int at) const
    {
        int end = at + 1;
        while (end < count && sub[end])
            ++end;
        return end;
    }
};

bool isByte(int value)
{
    return value >= 0 && value <= 255;
}

// 38 and 48: 5;n or 2;r;g;b after it, or the same as sub-parameters
// (38:5:n, 38:2:r:g:b, 38:2:space:r:g:b). Moves `at` to the last number it
// used.
TextColour extendedColour(const Parameters &parameters, int &at)
{
    int values[5];
    int count = 0;
    const int end = parameters.groupEnd(at);
    if (end > at + 1) {
        for (int i = at + 1; i < end && count < 5; ++i)
            values[count++] = parameters.value[i];
        // The colour space's id before r:g:b is skipped.
        if (count == 5 && values[0] == 2)
            std::copy(values + 2, values + 5, values + 1);
        at = end - 1;
    } else {
        const int kind = at + 1 < parameters.count ? parameters.value[at + 1] : -1;
        const int needed = kind == 5 ? 2 : kind == 2 ? 4 : 1;
        for (int i = at + 1; i <= at + needed && i < parameters.count; ++i)
            values[count++] = parameters.value[i];
        at += count;
    }
    if (count >= 2 && values[0] == 5 && isByte(values[1]))
        return TextColour::indexed(values[1]);
    if (count >= 4 && values[0] == 2 && isByte(values[1]) && isByte(values[2]) && isByte(values[3]))
        return TextColour::rgb(values[1], values[2], values[3]);
    return {TextColour::Default, 0xFFFFFFFF};
}

bool isColour(TextColour colour)
{
    return colour.value != 0xFFFFFFFF;
}

} // namespace

void ControlSequences::reset()
{
    state = State::Ground;
    sequenceLength = 0;
    style = TextStyle();
    lineIsEmpty = true;
    lineEndedAtCr = false;
}

// Plain text, as most devices send all day, passes through as it is: one
// scan for the characters that mean anything here, and no copy. The scan
// looks at sixteen characters at a time without a branch for each, which
// the compiler turns into vector instructions.
bool ControlSequences::isPlain(const QString &text) const
{
    if (state != State::Ground || (lineEndedAtCr && text.startsWith(u'\n')))
        return false;
    const auto *c = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    const auto attention = [](char16_t u) {
        const bool c0 = u < 0x20 && u != u'\n' && u != u'\t';
        const bool delOrC1 = char16_t(u - 0x7F) <= 0x9F - 0x7F;
        return unsigned(c0) | unsigned(delOrC1);
    };
    qsizetype at = 0;
    for (; at + 16 <= size; at += 16) {
        unsigned found = 0;
        for (int i = 0; i < 16; ++i)
            found |= attention(c[at + i]);
        if (found)
            return false;
    }
    for (; at < size; ++at) {
        if (attention(c[at]))
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
        noteStyle(text, out);
        noteLineEnd(text.back());
        return out;
    }
    out.text.reserve(text.size());
    const int size = int(text.size());
    for (int at = 0; at < size;) {
        // Between sequences, text goes over in runs, not character by
        // character.
        if (state == State::Ground) {
            int end = at;
            while (end < size && !needsAttention(text.at(end)))
                ++end;
            if (end > at) {
                putRun(QStringView(text).mid(at, end - at), out);
                at = end;
                continue;
            }
        }
        step(text.at(at++), out);
    }
    return out;
}

// A style change goes with the first character that shows it: not with a
// line break, so that a log whose every line is coloured and reset is one
// run of one colour for as long as the colour stays.
void ControlSequences::noteStyle(QStringView run, StyledText &out)
{
    if (style == shownStyle)
        return;
    int first = 0;
    while (first < run.size() && run.at(first) == u'\n')
        ++first;
    if (first == run.size())
        return;
    const int at = int(out.text.size() - run.size()) + first;
    if (!out.changes.isEmpty() && out.changes.last().at == at)
        out.changes.last().style = style;
    else
        out.changes.append({at, style});
    shownStyle = style;
}

void ControlSequences::noteLineEnd(QChar last)
{
    lineIsEmpty =
        last == u'\n' || last == QChar::LineSeparator || last == QChar::ParagraphSeparator;
    lineEndedAtCr = false;
}

void ControlSequences::putRun(QStringView run, StyledText &out)
{
    if (lineEndedAtCr && run.front() == u'\n') {
        lineEndedAtCr = false;
        run = run.mid(1);
        if (run.isEmpty())
            return;
    }
    out.text.append(run);
    noteStyle(run, out);
    noteLineEnd(run.back());
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
        } else if (isIntermediate(u)) {
            state = State::EscapeIntermediate;
            collect(u);
        } else if (u >= 0x30 && u <= 0x7E) {
            state = State::Ground; // ESC c, ESC =, ESC 7 and the like
        } else {
            interrupt(c, out);
        }
        return;
    case State::EscapeIntermediate:
        if (isIntermediate(u) && sequenceLength < longestSequence) {
            collect(u);
        } else if (u >= 0x30 && u <= 0x7E) {
            state = State::Ground; // ESC ( B
        } else {
            interrupt(c, out);
        }
        return;
    case State::Csi:
        if (u >= 0x40 && u <= 0x7E) {
            dispatchCsi(c);
            state = State::Ground;
        } else if (u >= 0x20 && u <= 0x3F) {
            collect(u);
            // A sequence this long lost its final byte; what follows shows.
            if (sequenceLength >= longestSequence)
                state = State::Ground;
        } else {
            interrupt(c, out);
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

// A character that cannot be part of the sequence being read: an ESC
// starts another, a control character does its work inside it, anything
// else ends it and shows.
void ControlSequences::interrupt(QChar c, StyledText &out)
{
    const char16_t u = c.unicode();
    if (u == escape) {
        startEscape();
    } else if (isControl(u)) {
        execute(c, out);
    } else {
        state = State::Ground;
        put(c, out);
    }
}

void ControlSequences::startEscape()
{
    state = State::Escape;
    sequenceLength = 0;
}

void ControlSequences::collect(char16_t c)
{
    if (sequenceLength < longestSequence)
        sequence[sequenceLength++] = c;
}

void ControlSequences::startCsi()
{
    state = State::Csi;
    sequenceLength = 0;
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
    out.text.append(c);
    noteStyle(QStringView(&c, 1), out);
    if (c != u'\n')
        noteLineEnd(c);
}

void ControlSequences::dispatchCsi(QChar final)
{
    // Only SGR changes what is shown. Private (ESC[?...m) and intermediate
    // forms are other commands.
    const char16_t *begin = sequence;
    const char16_t *end = sequence + sequenceLength;
    const bool plain =
        sequenceLength == 0 || (sequence[0] < u'<' && std::none_of(begin, end, isIntermediate));
    if (final == u'm' && plain)
        selectGraphicRendition();
    sequenceLength = 0;
}

void ControlSequences::selectGraphicRendition()
{
    const Parameters parameters(sequence, sequenceLength);
    for (int at = 0; at < parameters.count; at = parameters.groupEnd(at)) {
        const int p = parameters.value[at];
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
            const bool hasKind = parameters.groupEnd(at) > at + 1;
            style.set(TextStyle::Underline, !hasKind || parameters.value[at + 1] != 0);
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
