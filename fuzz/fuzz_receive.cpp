// libFuzzer target for the receive path: arbitrary bytes, cut into
// deliveries at arbitrary points, must never crash and must read exactly as
// the same bytes do in one delivery, control sequences, the styles they set,
// long-line breaks and paragraphs included.
//
// Input layout: byte 0 picks the longest line (1 to 64, so the breaks are
// exercised) and the longest paragraph (1 to 64), byte 1 the number of cuts
// (0 to 15), the next bytes the cut positions; the rest is what the device
// sends.

#include "panelines.h"
#include "receivedecoder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// The pane's text, and its style character by character (as a short
// string per character, the same for the same style).
struct Shown {
    QString pane;
    QList<QByteArray> styles;
    bool operator==(const Shown &other) const
    {
        return pane == other.pane && styles == other.styles;
    }
};

QByteArray describe(const TextStyle &style)
{
    return QByteArray::number(style.attributes) + ' ' + QByteArray::number(style.foreground.kind) +
           ':' + QByteArray::number(style.foreground.value) + ' ' +
           QByteArray::number(style.background.kind) + ':' +
           QByteArray::number(style.background.value);
}

Shown showInPieces(const QByteArray &stream, const QList<int> &cuts, int longestLine,
                   int longestParagraph)
{
    ReceiveDecoder decoder;
    Shown shown;
    PaneEnd end;
    TextStyle style;
    int from = 0;
    for (int i = 0; i <= cuts.size(); ++i) {
        const int to = i < cuts.size() ? cuts.at(i) : int(stream.size());
        const StyledText text = decoder.decode(stream.mid(from, to - from));
        int change = 0;
        for (int at = 0; at < text.text.size(); ++at) {
            while (change < text.changes.size() && text.changes.at(change).at <= at)
                style = text.changes.at(change++).style;
            shown.styles << describe(style);
        }
        shown.pane += layOutLines(text.text, end, longestLine, longestParagraph);
        from = to;
    }
    return shown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int longestLine = 1 + data[0] % 64;
    const int longestParagraph = 1 + (data[0] >> 6) * 21;
    const size_t cutCount = std::min<size_t>(data[1] % 16, size - 2);
    const QByteArray stream(reinterpret_cast<const char *>(data + 2 + cutCount),
                            int(size - 2 - cutCount));
    QList<int> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts << (stream.isEmpty() ? 0 : data[2 + i] % (stream.size() + 1));
    std::sort(cuts.begin(), cuts.end());

    const Shown all = showInPieces(stream, {}, longestLine, longestParagraph);
    if (!(showInPieces(stream, cuts, longestLine, longestParagraph) == all))
        std::abort();
    // Nothing of a control sequence reaches the pane.
    const QString &whole = all.pane;
    for (const QChar c : whole) {
        if (c.unicode() == 0x1B || c == u'\r' || (c.unicode() < 0x20 && c != u'\n' && c != u'\t'))
            std::abort();
    }
    // The pane never holds a line or a paragraph longer than the limits
    // allow, and never splits a character outside the BMP.
    int line = 0;
    int paragraph = 0;
    for (int i = 0; i < whole.size(); ++i) {
        const QChar c = whole.at(i);
        if (c.isLowSurrogate() && !(i > 0 && whole.at(i - 1).isHighSurrogate()))
            std::abort();
        if (c == u'\n' || c == QChar::ParagraphSeparator) {
            line = paragraph = 0;
            continue;
        }
        if (c.isLowSurrogate())
            continue;
        ++paragraph;
        line = c == QChar::LineSeparator ? 0 : line + 1;
        if (line > longestLine || paragraph > longestParagraph + longestLine)
            std::abort();
    }
    return 0;
}
