#include "receivedecoder.h"

#include <cstring>

namespace {

bool isContinuationByte(uchar c)
{
    return (c & 0xC0) == 0x80;
}

// Bytes a character starting with this byte may take. Generous on purpose:
// every byte that could begin a longer sequence is treated as such.
int sequenceLength(uchar lead)
{
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF8)
        return 4;
    return 1;
}

// Length of the trailing sequence that bytes still to come may complete.
int unfinishedTailLength(const QByteArray &bytes)
{
    const int size = int(bytes.size());
    for (int back = 1; back <= 4 && back <= size; ++back) {
        const uchar c = uchar(bytes.at(size - back));
        if (isContinuationByte(c))
            continue;
        return sequenceLength(c) > back ? back : 0;
    }
    return 0;
}

} // namespace

void ReceiveDecoder::reset()
{
    partial.clear();
    sequences.reset();
}

// Qt's stateful UTF-8 decoder turns a broken sequence into a different
// number of U+FFFD depending on where the reads were cut. Holding back an
// unfinished last character and decoding only whole characters keeps the
// result the same however the bytes arrive.
StyledText ReceiveDecoder::decode(const QByteArray &bytes)
{
    QByteArray whole = partial + bytes;
    const int tail = unfinishedTailLength(whole);
    partial = whole.right(tail);
    whole.chop(tail);
    // The explicit size keeps zero bytes in the text; they are dropped as
    // the control characters they are after decoding, so that one inside a
    // multi-byte sequence still breaks it.
    return sequences.interpret(toUtf16(whole));
}

// QString::fromUtf8 swallows a byte-order mark at the start of its input, and
// so would drop it only where a read happened to begin. It is kept instead,
// as it is anywhere else in the stream.
QString ReceiveDecoder::toUtf16(const QByteArray &bytes)
{
    static const char byteOrderMark[] = "\xef\xbb\xbf";
    constexpr int markSize = sizeof byteOrderMark - 1;
    QString text;
    int start = 0;
    while (bytes.size() - start >= markSize &&
           std::memcmp(bytes.constData() + start, byteOrderMark, markSize) == 0) {
        text.append(QChar(0xFEFF));
        start += markSize;
    }
    // Appending to the empty string takes the decoded text over without a copy.
    text.append(QString::fromUtf8(bytes.constData() + start, int(bytes.size()) - start));
    return text;
}
