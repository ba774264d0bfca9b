#ifndef CONTROLSEQUENCES_H
#define CONTROLSEQUENCES_H

#include "textstyle.h"

#include <QString>

// Reads decoded text as a terminal does: colours (SGR) become the text's
// style, and every other control sequence and control character is
// consumed without a trace, so that a board's log in colour, a shell's
// prompt or a progress bar never show their escape codes. ESC and what
// follows it up to its final byte are one sequence, as ECMA-48 has it; a
// line break inside one still breaks the line. Like the UTF-8 decoder, it
// keeps its state between reads, so a sequence cut anywhere reads as if it
// had arrived whole.
//
// Line ends: CR LF, LF and a CR after text each end a line ('\n'); a CR on
// a line that has nothing on it yet does nothing (bash ends each command
// with ESC[?2004l CR, right after the CR LF of its echo).
class ControlSequences
{
public:
    // A CSI sequence that has not ended after this many characters was
    // never going to; a string (OSC, DCS, SOS, PM, APC) after this many.
    static constexpr int longestSequence = 64;
    static constexpr int longestString = 4096;

    StyledText interpret(const QString &text);
    // A new session: the pane's own colours and nothing pending.
    void reset();

private:
    enum class State : quint8 { Ground, Escape, EscapeIntermediate, Csi, String, StringEscape };

    bool isPlain(const QString &text) const;
    void step(QChar c, StyledText &out);
    void execute(QChar c, StyledText &out);
    void interrupt(QChar c, StyledText &out);
    void put(QChar c, StyledText &out);
    void putRun(QStringView run, StyledText &out);
    void noteStyle(QStringView run, StyledText &out);
    void noteLineEnd(QChar last);
    void startCsi();
    void startString(bool endsAtBell);
    void startEscape();
    void dispatchCsi(QChar final);
    void collect(char16_t c);
    void selectGraphicRendition();

    State state = State::Ground;
    // Parameters and intermediates of the sequence being read.
    char16_t sequence[longestSequence] = {};
    int sequenceLength = 0;
    int stringLength = 0;
    bool stringEndsAtBell = false;
    TextStyle style;
    // The style the pane was last told of.
    TextStyle shownStyle;
    bool lineIsEmpty = true;
    // The last line ended at a CR: an LF right after it belongs to it.
    bool lineEndedAtCr = false;
};

#endif // CONTROLSEQUENCES_H
