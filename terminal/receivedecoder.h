#ifndef RECEIVEDECODER_H
#define RECEIVEDECODER_H

#include <QByteArray>
#include <QString>
#include <QStringView>

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

// Where the pane's text ends: the characters of its last paragraph, and of
// that paragraph's last line.
struct PaneEnd {
    int paragraph = 0;
    int line = 0;
};

// Received text as the pane holds it, following on from `end`, which it
// moves along. A line that reaches `longestLine` characters continues on a
// new line. Lines are kept together in paragraphs: every line break becomes a
// line separator (U+2028) until the paragraph holds `longestParagraph`
// characters, and the next one then begins a new paragraph ('\n').
QString layOutLines(QStringView text, PaneEnd &end, int longestLine, int longestParagraph);

#endif // RECEIVEDECODER_H
