// libFuzzer target for the receive path: arbitrary bytes, cut into
// deliveries at arbitrary points, must never crash and must read exactly as
// the same bytes do in one delivery, long-line breaks included.
//
// Input layout: byte 0 picks the longest line (1 to 64, so the breaks are
// exercised), byte 1 the number of cuts (0 to 15), the next bytes the cut
// positions; the rest is what the device sends.

#include "receivedecoder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Characters the pane's last line holds after `shown` was added to a line
// of `column` characters.
int columnAfter(const QString &shown, int column)
{
    const int lastBreak = int(shown.lastIndexOf(QLatin1Char('\n')));
    return lastBreak < 0 ? column + int(shown.size()) : int(shown.size()) - lastBreak - 1;
}

QString showInPieces(const QByteArray &stream, const QList<int> &cuts, int longest)
{
    ReceiveDecoder decoder;
    QString pane;
    int column = 0;
    int from = 0;
    for (int i = 0; i <= cuts.size(); ++i) {
        const int to = i < cuts.size() ? cuts.at(i) : int(stream.size());
        const QString shown =
            breakLongLines(decoder.decode(stream.mid(from, to - from)), column, longest);
        column = columnAfter(shown, column);
        pane += shown;
        from = to;
    }
    return pane;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int longest = 1 + data[0] % 64;
    const size_t cutCount = std::min<size_t>(data[1] % 16, size - 2);
    const QByteArray stream(reinterpret_cast<const char *>(data + 2 + cutCount),
                            int(size - 2 - cutCount));
    QList<int> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts << (stream.isEmpty() ? 0 : data[2 + i] % (stream.size() + 1));
    std::sort(cuts.begin(), cuts.end());

    const QString whole = showInPieces(stream, {}, longest);
    if (showInPieces(stream, cuts, longest) != whole)
        std::abort();
    // The pane never holds a line of more characters than the limit, and
    // never splits a character outside the BMP.
    int column = 0;
    for (int i = 0; i < whole.size(); ++i) {
        const QChar c = whole.at(i);
        if (c.isLowSurrogate() && !(i > 0 && whole.at(i - 1).isHighSurrogate()))
            std::abort();
        if (c == u'\n')
            column = 0;
        else if (!c.isLowSurrogate())
            ++column;
        if (column > longest)
            std::abort();
    }
    return 0;
}
