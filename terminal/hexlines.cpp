#include "hexlines.h"

namespace {

constexpr int hexColumn = HexLines::bytesPerLine * 3;
constexpr int lineLength = hexColumn + 1 + HexLines::bytesPerLine;

// Written straight into the line: QString::arg and QByteArray::toHex for
// each line cost more than the pane's own work.
void writeLine(QChar *out, const char *bytes, int count)
{
    static const char digits[] = "0123456789abcdef";
    QChar *hex = out;
    QChar *text = out + hexColumn + 1;
    for (int i = 0; i < HexLines::bytesPerLine; ++i) {
        if (i < count) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            *hex++ = QLatin1Char(digits[byte >> 4]);
            *hex++ = QLatin1Char(digits[byte & 15]);
            *text++ = byte >= 0x20 && byte < 0x7f ? QLatin1Char(char(byte)) : QLatin1Char('.');
        } else {
            *hex++ = u' ';
            *hex++ = u' ';
        }
        *hex++ = u' ';
    }
    *hex = u' ';
}

} // namespace

QString HexLines::lineFor(const char *bytes, int count)
{
    if (count <= 0)
        return QString();
    QString line(hexColumn + 1 + count, Qt::Uninitialized);
    writeLine(line.data(), bytes, count);
    return line;
}

QString HexLines::add(const QByteArray &bytes)
{
    const int had = int(pending.size());
    const int lines = (had + int(bytes.size())) / bytesPerLine;
    if (lines == 0) {
        pending += bytes;
        return QString();
    }
    QString out((lineLength + 1) * lines, Qt::Uninitialized);
    QChar *at = out.data();
    int from = 0;
    if (had > 0) {
        from = bytesPerLine - had;
        pending += bytes.left(from);
        writeLine(at, pending.constData(), bytesPerLine);
        at += lineLength;
        *at++ = u'\n';
        pending.clear();
    }
    for (; from + bytesPerLine <= bytes.size(); from += bytesPerLine) {
        writeLine(at, bytes.constData() + from, bytesPerLine);
        at += lineLength;
        *at++ = u'\n';
    }
    pending = bytes.mid(from);
    return out;
}
