#ifndef RECEIVEDECODER_H
#define RECEIVEDECODER_H

#include <QByteArray>
#include <QString>

// Turns the bytes a device sends into the text the output pane shows.
// The result never depends on how the bytes were cut into deliveries:
// a UTF-8 character or a CR LF pair split between two reads comes out
// exactly as if it had arrived in one piece.
class ReceiveDecoder
{
public:
    // Text for the next delivery: UTF-8 with U+FFFD for invalid bytes, zero
    // bytes dropped, and every line break (CR LF, a lone CR or a lone LF)
    // as one '\n'.
    QString decode(const QByteArray &bytes);

    // Forget any partial character or pending CR, as for a newly opened port.
    void reset();

private:
    static QString toUtf16(const QByteArray &bytes);
    QString foldLineBreaks(const QString &text);

    // The start of a multi-byte character whose remaining bytes have not
    // arrived yet.
    QByteArray partial;
    bool afterCarriageReturn = false;
};

#endif // RECEIVEDECODER_H
