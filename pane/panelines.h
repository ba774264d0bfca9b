#ifndef PANELINES_H
#define PANELINES_H

#include <QString>
#include <QStringView>

// Where the pane's text ends: the characters of its last paragraph, and of
// that paragraph's last line.
struct PaneEnd {
    int paragraph = 0;
    int line = 0;
};

// Received text as the pane holds it, following on from `end`, which it
// moves along. A line that reaches `longestLine` characters continues on a
// new line. Lines are kept together in paragraphs: every line break becomes a
// line separator (U+2028) until the paragraph holds `longestParagraph`
// characters, and the next one then begins a new paragraph ('\n').
QString layOutLines(QStringView text, PaneEnd &end, int longestLine, int longestParagraph);

// A line of the program's own: an echo of what was sent, which the device's
// reply follows on the same line, or a notice, which stands apart.
enum class OwnLine { Echo, Notice };
struct OwnLineBreaks {
    bool before = false;
    bool after = false;
};
// Where line breaks go around a line of the program's own, given what it
// follows: an echo always begins a line of its own, a notice only when the
// text before it has not just ended a line, and what follows a notice
// begins a new one.
OwnLineBreaks ownLineBreaks(OwnLine kind, bool empty, bool atLineStart);

#endif // PANELINES_H
