#include "lineescapes.h"

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The byte the escape at `at` (its backslash) names, and the characters it
// takes; none for a backslash that names nothing.
struct Escape {
    int length = 0;
    char byte = 0;
};

Escape escapeAt(const QString &line, int at)
{
    if (at + 1 >= line.size())
        return {};
    switch (line.at(at + 1).unicode()) {
    case u'r':
        return {2, '\r'};
    case u'n':
        return {2, '\n'};
    case u't':
        return {2, '\t'};
    case u'0':
        return {2, '\0'};
    case u'\\':
        return {2, '\\'};
    case u'x': {
        int value = 0;
        int digits = 0;
        for (; digits < 2 && at + 2 + digits < line.size(); ++digits) {
            const int digit = hexDigit(line.at(at + 2 + digits));
            if (digit < 0)
                break;
            value = value * 16 + digit;
        }
        if (digits == 0)
            return {};
        return {2 + digits, char(value)};
    }
    default:
        return {};
    }
}

} // namespace

QByteArray unescapedBytes(const QString &line)
{
    QByteArray bytes;
    bytes.reserve(line.size());
    int plainFrom = 0;
    for (int at = int(line.indexOf(u'\\')); at >= 0; at = int(line.indexOf(u'\\', at))) {
        const Escape escape = escapeAt(line, at);
        if (escape.length == 0) {
            ++at;
            continue;
        }
        bytes += QStringView(line).mid(plainFrom, at - plainFrom).toUtf8();
        bytes += escape.byte;
        at += escape.length;
        plainFrom = at;
    }
    bytes += QStringView(line).mid(plainFrom).toUtf8();
    return bytes;
}
