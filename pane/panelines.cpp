#include "panelines.h"

QString layOutLines(QStringView text, PaneEnd &end, int longestLine, int longestParagraph)
{
    // Written through a pointer: this runs over every received character.
    QString shown(int(text.size() + text.size() / longestLine + 1), Qt::Uninitialized);
    QChar *out = shown.data();
    const auto lineBreak = [&] {
        if (end.paragraph >= longestParagraph) {
            *out++ = u'\n';
            end = {};
        } else {
            *out++ = QChar::LineSeparator;
            ++end.paragraph;
            end.line = 0;
        }
    };
    for (const QChar c : text) {
        if (c == u'\n' || c == QChar::LineSeparator) {
            lineBreak();
        } else if (c == QChar::ParagraphSeparator) {
            *out++ = c;
            end = {};
        } else {
            // Never between the two halves of a character outside the BMP.
            if (end.line >= longestLine && !c.isLowSurrogate())
                lineBreak();
            *out++ = c;
            ++end.paragraph;
            ++end.line;
        }
    }
    shown.truncate(int(out - shown.constData()));
    return shown;
}

OwnLineBreaks ownLineBreaks(OwnLine kind, bool empty, bool atLineStart)
{
    OwnLineBreaks breaks;
    breaks.before = !empty && (kind == OwnLine::Echo || !atLineStart);
    breaks.after = kind == OwnLine::Notice;
    return breaks;
}
