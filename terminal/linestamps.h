#ifndef LINESTAMPS_H
#define LINESTAMPS_H

#include "panelines.h"
#include "textstyle.h"

#include <QString>
#include <QTime>

// The time of day at the start of each line of the pane: when the first
// byte of a received line was read from the port, when an echoed line was
// sent, when a notice was given. It follows where the pane's lines begin,
// whether stamps are on or not, so that switching them on mid-line stamps
// the next line, not the middle of this one.
class LineStamps
{
public:
    // "14:03:07.250 ": fixed width, leading zeros, to the millisecond.
    static constexpr int stampLength = 13;
    // While a device streams, how much later than they came lines may be
    // read and stamped; after a quiet spell they are read at once.
    static constexpr int longestHoldMs = 4;
    static QString stampFor(QTime time);

    // The local time of day now, to the millisecond.
    QTime now();

    bool isOn() const { return on; }
    void setOn(bool stamped) { on = stamped; }

    // Received text, decoded from bytes read at `readAt`, with a stamp at
    // the start of each line it begins. A line already begun keeps the time
    // of the read that brought its first byte, even when no text came of
    // that read (half a character, a colour code).
    StyledText received(const StyledText &text, bool bytesCame, QTime readAt);
    // The stamp for a line of the program's own, which begins a line of its
    // own; an echo is followed on the same line by what the device sends
    // next, a notice is not.
    QString ownLine(OwnLine kind, QTime at);
    // Whether the pane's last line has ended.
    bool isAtLineStart() const { return atLineStart; }
    // The stamp of a line whose first bytes were read but which is not in
    // the pane's text yet: empty while stamps are off or there is none.
    QString stampOfLineBegun() const
    {
        return on && lineBegan.isValid() ? stampFor(lineBegan) : QString();
    }
    // The pane is empty: whatever comes next begins a line.
    void cleared();

private:
    bool on = false;
    bool atLineStart = true;
    // When the line not yet begun in the pane began on the port.
    QTime lineBegan;
    // The style the device's text has where the next text joins it.
    TextStyle deviceStyle;
    // The local time's offset from UTC, as it was in this minute.
    qint64 offsetMinute = -1;
    qint64 offsetMs = 0;
};

#endif // LINESTAMPS_H
