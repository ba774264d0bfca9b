#ifndef HEXLINES_H
#define HEXLINES_H

#include <QByteArray>
#include <QString>

// Received bytes as a hex dump, sixteen to a line with their printable
// characters beside them:
//   3c 21 44 4f 43 54 59 50 45 20 68 74 6d 6c 3e 0a  <!DOCTYPE html>.
// A line is complete when its sixteenth byte has come, however the bytes
// were cut into reads; until then it waits, and shows as it stands.
class HexLines
{
public:
    static constexpr int bytesPerLine = 16;
    // What the pane shows of each byte: a line of sixteen is 66 characters.
    static constexpr qreal charsPerByte = (bytesPerLine * 4 + 2) / qreal(bytesPerLine);

    // The lines that `bytes` complete, each ending in '\n'.
    QString add(const QByteArray &bytes);
    // The line begun and not yet complete, as it shows: empty if none.
    QString pendingLine() const { return lineFor(pending.constData(), int(pending.size())); }
    bool hasPending() const { return !pending.isEmpty(); }
    // The line begun is over (it is shown as it stands from now on).
    void endLine() { pending.clear(); }

    // One line of `count` bytes (at most sixteen), the hex column padded so
    // that the characters line up: no line end.
    static QString lineFor(const char *bytes, int count);

private:
    QByteArray pending;
};

#endif // HEXLINES_H
