#ifndef RECEIVEDECODER_H
#define RECEIVEDECODER_H

#include "controlsequences.h"
#include "textstyle.h"

#include <QByteArray>
#include <QString>

// Turns the bytes a device sends into the text the output pane shows.
// The result never depends on how the bytes were cut into deliveries:
// a UTF-8 character, a CR LF pair or a control sequence split between two
// reads comes out exactly as if it had arrived in one piece.
class ReceiveDecoder
{
public:
    // Text for the next delivery: UTF-8 with U+FFFD for invalid bytes, read
    // as a terminal reads it (see ControlSequences): colours as styles,
    // control sequences and characters dropped, every line break as '\n'.
    StyledText decode(const QByteArray &bytes);

    // Forget any partial character, sequence or pending CR, and the
    // device's colours, as for a newly opened port.
    void reset();

private:
    static QString toUtf16(const QByteArray &bytes);

    // The start of a multi-byte character whose remaining bytes have not
    // arrived yet.
    QByteArray partial;
    ControlSequences sequences;
};

#endif // RECEIVEDECODER_H
