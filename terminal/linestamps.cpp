#include "linestamps.h"

#include <QDateTime>

namespace {

void putTwoDigits(QChar *&out, int value)
{
    *out++ = QChar(u'0' + value / 10);
    *out++ = QChar(u'0' + value % 10);
}

} // namespace

// By hand: QTime::toString parses its format for every line.
QString LineStamps::stampFor(QTime time)
{
    QString stamp(stampLength, Qt::Uninitialized);
    QChar *out = stamp.data();
    putTwoDigits(out, time.hour());
    *out++ = u':';
    putTwoDigits(out, time.minute());
    *out++ = u':';
    putTwoDigits(out, time.second());
    *out++ = u'.';
    const int ms = time.msec();
    *out++ = QChar(u'0' + ms / 100);
    putTwoDigits(out, ms % 100);
    *out = u' ';
    return stamp;
}

// QTime::currentTime asks the system for the time zone every time, which on
// Linux means a stat of /etc/localtime: a tenth of what a read cost. The
// offset changes only at the turn of a minute (daylight saving, a new zone).
QTime LineStamps::now()
{
    const qint64 utc = QDateTime::currentMSecsSinceEpoch();
    if (utc / 60000 != offsetMinute) {
        offsetMinute = utc / 60000;
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
    }
    constexpr qint64 day = 24 * 3600 * 1000;
    return QTime::fromMSecsSinceStartOfDay(int(((utc + offsetMs) % day + day) % day));
}

StyledText LineStamps::received(const StyledText &text, bool bytesCame, QTime readAt)
{
    const QString &in = text.text;
    const int size = int(in.size());
    if (!on) {
        if (size > 0)
            atLineStart = in.at(size - 1) == u'\n';
        if (!text.changes.isEmpty())
            deviceStyle = text.changes.last().style;
        lineBegan = QTime();
        return text;
    }
    if (atLineStart && bytesCame && !lineBegan.isValid())
        lineBegan = readAt;
    if (size == 0) {
        if (!text.changes.isEmpty())
            deviceStyle = text.changes.last().style;
        return text;
    }
    StyledText out;
    out.text.reserve(size + 4 * stampLength);
    const QString stampNow = stampFor(readAt);
    const TextStyle muted = TextStyle::muted();
    int nextChange = 0;
    // Copies the text from `from` up to `to` and the style changes within it.
    const auto copy = [&](int from, int to) {
        const int shift = int(out.text.size()) - from;
        for (; nextChange < text.changes.size() && text.changes.at(nextChange).at < to;
             ++nextChange) {
            const StyleChange &change = text.changes.at(nextChange);
            out.changes.append({change.at + shift, change.style});
            deviceStyle = change.style;
        }
        out.text += QStringView(in).mid(from, to - from);
    };
    int at = 0;
    bool first = true;
    while (at < size) {
        int lineEnd = int(in.indexOf(u'\n', at));
        lineEnd = lineEnd < 0 ? size : lineEnd + 1;
        if (atLineStart) {
            // Colours set where the line begins belong to its text, not its
            // stamp.
            for (; nextChange < text.changes.size() && text.changes.at(nextChange).at <= at;
                 ++nextChange)
                deviceStyle = text.changes.at(nextChange).style;
            out.changes.append({int(out.text.size()), muted});
            out.text += first && lineBegan.isValid() ? stampFor(lineBegan) : stampNow;
            out.changes.append({int(out.text.size()), deviceStyle});
        }
        copy(at, lineEnd);
        atLineStart = in.at(lineEnd - 1) == u'\n';
        first = false;
        at = lineEnd;
    }
    // Changes at the very end: the colours of what comes next.
    copy(size, size + 1);
    lineBegan = QTime();
    return out;
}

QString LineStamps::ownLine(OwnLine kind, QTime at)
{
    atLineStart = kind == OwnLine::Notice;
    lineBegan = QTime();
    return on ? stampFor(at) : QString();
}

void LineStamps::cleared()
{
    atLineStart = true;
}
