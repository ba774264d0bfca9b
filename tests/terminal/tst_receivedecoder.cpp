#include "testsupport.h"

#include "receivedecoder.h"

#include <QApplication>
#include <QRandomGenerator>

namespace {

QString describe(const TextColour &colour)
{
    if (colour.kind == TextColour::Rgb)
        return QStringLiteral("#%1").arg(colour.value, 6, 16, QLatin1Char('0'));
    return QString::number(colour.value);
}

// "default", or what is set, in a fixed order: "bold fg 2 bg 4".
QString describe(const TextStyle &style)
{
    QStringList parts;
    const char *names[] = {"bold", "faint", "italic", "underline", "reverse"};
    for (int bit = 0; bit < 5; ++bit) {
        if (style.attributes & (1 << bit))
            parts << QLatin1String(names[bit]);
    }
    if (style.foreground.kind != TextColour::Default)
        parts << QStringLiteral("fg ") + describe(style.foreground);
    if (style.background.kind != TextColour::Default)
        parts << QStringLiteral("bg ") + describe(style.background);
    return parts.isEmpty() ? QStringLiteral("default") : parts.join(u' ');
}

// The text and the style of each of its characters, the bytes cut as given.
struct Decoded {
    QString text;
    QStringList styles;
};

Decoded decodeInPieces(const QByteArray &bytes, const QList<int> &cuts)
{
    ReceiveDecoder decoder;
    Decoded decoded;
    TextStyle style;
    int from = 0;
    for (int i = 0; i <= cuts.size(); ++i) {
        const int to = i < cuts.size() ? cuts.at(i) : int(bytes.size());
        const StyledText piece = decoder.decode(bytes.mid(from, to - from));
        int change = 0;
        for (int at = 0; at < piece.text.size(); ++at) {
            while (change < piece.changes.size() && piece.changes.at(change).at <= at)
                style = piece.changes.at(change++).style;
            decoded.styles << describe(style);
        }
        decoded.text += piece.text;
        from = to;
    }
    return decoded;
}

QString decodeText(const QByteArray &bytes)
{
    return decodeInPieces(bytes, {}).text;
}

} // namespace

class ReceiveDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WarningGuard::install(); }
    void cleanup() { WarningGuard::verifyNone(); }

    void decodesWholeDeliveries_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("AT+GMR") << "AT+GMR";
        QTest::newRow("zero bytes vanish") << QByteArray("\0A\0\0B\0", 6) << "AB";
        // A CR where the line has nothing yet does nothing: LF CR is one
        // break, CR CR LF too, and CR LF CR LF leaves a blank line.
        QTest::newRow("line breaks fold") << QByteArray("a\r\nb\rc\nd\n\re") << "a\nb\nc\nd\ne";
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << "a\nb";
        QTest::newRow("a blank line") << QByteArray("a\r\n\r\nb\n\nc") << "a\n\nb\n\nc";
        QTest::newRow("a CR first") << QByteArray("\rstart\r") << "start\n";
        QTest::newRow("multi-byte")
            << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80") << QStringLiteral("é€\U0001F600");
        // One U+FFFD per byte that is not part of a valid character, the same
        // with Qt 5 and Qt 6.
        QTest::newRow("truncated")
            << QByteArray("a\xe2\x82 b") << QStringLiteral("a\uFFFD\uFFFD b");
        QTest::newRow("overlong") << QByteArray("\xc0\x80\xe0\x80\x80")
                                  << QString(5, QChar(0xFFFD));
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QString(3, QChar(0xFFFD));
        QTest::newRow("past U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QString(4, QChar(0xFFFD));
        QTest::newRow("stray continuation") << QByteArray("a\x80z") << QStringLiteral("a\uFFFDz");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xef\xbb\xbfx") << QStringLiteral("\uFEFFx");
    }
    void decodesWholeDeliveries()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        ReceiveDecoder decoder;
        QCOMPARE(decoder.decode(bytes).text, text);
    }

    void unfinishedCharacterWaitsForItsLastByte()
    {
        ReceiveDecoder decoder;
        QCOMPARE(decoder.decode("\xf0\x9f").text, QString());
        QCOMPARE(decoder.decode("\x98").text, QString());
        QCOMPARE(decoder.decode("\x80!").text, QStringLiteral("\U0001F600!"));
        QCOMPARE(decoder.decode("\r").text, QStringLiteral("\n"));
        QCOMPARE(decoder.decode("\x1b[3").text, QString());
        decoder.reset();
        // A new session: no pending LF, no half sequence, the pane's colours.
        QCOMPARE(decoder.decode("\n").text, QStringLiteral("\n"));
        const StyledText after = decoder.decode("1mx");
        QCOMPARE(after.text, QStringLiteral("1mx"));
        QCOMPARE(after.changes.size(), 0);
    }

    // What boards, shells and loggers send: the text without a trace of the
    // sequences, and the style at chosen characters ("index=style"), the
    // same however the bytes are cut, down to one byte a read.
    void controlSequencesAreReadAsATerminalDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("styles");
        QTest::newRow("ESP-IDF info")
            << QByteArray("\x1b[0;32mI (289) cpu_start: go\x1b[0m\n") << "I (289) cpu_start: go\n"
            << QStringList{"0=fg 2", "20=fg 2", "21=fg 2"};
        QTest::newRow("ESP-IDF warning and error")
            << QByteArray("\x1b[0;33mW (9) wifi: weak\x1b[0m\n\x1b[0;31mE (10) x\x1b[0m\n")
            << "W (9) wifi: weak\nE (10) x\n"
            << QStringList{"0=fg 3", "16=fg 3", "17=fg 1"};
        QTest::newRow("systemd OK")
            << QByteArray("[\x1b[0;32m  OK  \x1b[0m] Started \x1b[0;1;39mJournal\x1b[0m.\n")
            << "[  OK  ] Started Journal.\n"
            << QStringList{"0=default", "1=fg 2", "7=default", "17=bold", "24=default"};
        QTest::newRow("systemd FAILED")
            << QByteArray("[\x1b[0;1;31mFAILED\x1b[0m] Failed\n") << "[FAILED] Failed\n"
            << QStringList{"1=bold fg 1", "7=default"};
        QTest::newRow("bash's bracketed paste")
            << QByteArray("\x1b[?2004hroot@board:~# ls\r\n\x1b[?2004l\rbin\r\n\x1b[?2004hroot")
            << "root@board:~# ls\nbin\nroot" << QStringList{"0=default"};
        QTest::newRow("ls --color=always")
            << QByteArray("\x1b[0m\x1b[01;34mbin\x1b[0m  \x1b[01;36mlib\x1b[0m\n") << "bin  lib\n"
            << QStringList{"0=bold fg 4", "3=default", "5=bold fg 6", "7=bold fg 6"};
        QTest::newRow("window title, BEL") << QByteArray("\x1b]0;root@board: ~\x07root@board:~# ")
                                           << "root@board:~# " << QStringList{"0=default"};
        QTest::newRow("hyperlink, ST") << QByteArray("\x1b]8;;http://x/\x1b\\link\x1b]8;;\x1b\\")
                                       << "link" << QStringList{"0=default"};
        QTest::newRow("Zephyr prompt") << QByteArray("\x1b[1;32muart:~$ \x1b[m\x1b[K\x1b[J")
                                       << "uart:~$ " << QStringList{"0=bold fg 2", "7=bold fg 2"};
        QTest::newRow("256 colours") << QByteArray("\x1b[38;5;208mo\x1b[48;5;21mb\x1b[0m.") << "ob."
                                     << QStringList{"0=fg 208", "1=fg 208 bg 21", "2=default"};
        QTest::newRow("24-bit colours")
            << QByteArray("\x1b[38;2;255;128;0mr\x1b[38:2::0:128:255mg\x1b[48;2;1;2;3mb\x1b[m")
            << "rgb" << QStringList{"0=fg #ff8000", "1=fg #0080ff", "2=fg #0080ff bg #010203"};
        QTest::newRow("attributes and their resets")
            << QByteArray("\x1b[7mR\x1b[27m\x1b[2;3;4mF\x1b[22;23;24mN\x1b[1;4:0mB") << "RFNB"
            << QStringList{"0=reverse", "1=faint italic underline", "2=default", "3=bold"};
        QTest::newRow("bright, then defaults")
            << QByteArray("\x1b[91mx\x1b[101my\x1b[39mz\x1b[49;95;2;99mw") << "xyzw"
            << QStringList{"0=fg 9", "1=fg 9 bg 9", "2=bg 9", "3=faint fg 13"};
        QTest::newRow("unknown parameters and bad colours ignored")
            << QByteArray("\x1b[5;53;38;5;300;31mx\x1b[38;2;1mx") << "xx"
            << QStringList{"0=fg 1", "1=fg 1"};
        QTest::newRow("other CSI sequences")
            << QByteArray("a\x1b[2J\x1b[H\x1b[10;20Hb\x1b[6n\x1b[?25l\x1b[>c\x1b[1 qc") << "abc"
            << QStringList{"0=default"};
        QTest::newRow("short escapes") << QByteArray("a\x1b"
                                                     "cb\x1b(Bc\x1b=d\x1b"
                                                     "7e\x1b#8f")
                                       << "abcdef" << QStringList{"0=default"};
        QTest::newRow("C0 controls") << QByteArray("a\x07"
                                                   "b\x08"
                                                   "c\x0b"
                                                   "d\x0c"
                                                   "e\x7f"
                                                   "f\tg")
                                     << "abcdef\tg" << QStringList{"0=default"};
        QTest::newRow("DCS, SOS, PM, APC")
            << QByteArray("\x1bPq#0;2\x1b\\a\x1bXs\x1b\\b\x1b^p\x07x\x1b\\c\x1b_apc\x1b\\d")
            << "abcd" << QStringList{"0=default"};
        QTest::newRow("8-bit CSI and OSC") << QByteArray("\xc2\x9b"
                                                         "31mred\xc2\x9d"
                                                         "0;t\x07\xc2\x9b"
                                                         "0m!")
                                           << "red!" << QStringList{"0=fg 1", "3=default"};
        QTest::newRow("a line break inside a sequence")
            << QByteArray("ok\x1b[3\r\n1mred") << "ok\nred" << QStringList{"3=fg 1"};
        QTest::newRow("an ESC inside a sequence starts another")
            << QByteArray("\x1b[31\x1b[32mg") << "g" << QStringList{"0=fg 2"};
        QTest::newRow("as many parameters as a CSI holds")
            << QByteArray("\x1b[") + QByteArray(58, ';') + "1;31mred"
            << "red" << QStringList{"0=bold fg 1"};
        const QByteArray longCsi = QByteArray("\x1b[") + QByteArray("1;").repeated(40);
        QTest::newRow("a CSI that never ends")
            << longCsi + "shown" << QString::fromLatin1(longCsi.mid(2 + 64)) + "shown"
            << QStringList{"0=default"};
        QTest::newRow("a string that never ends")
            << QByteArray("\x1b]0;") + QByteArray(5000, 'x') + "shown"
            << QString(5002 - 4096, u'x') + "shown" << QStringList{"0=default"};
    }
    void controlSequencesAreReadAsATerminalDoes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QStringList, styles);
        const Decoded whole = decodeInPieces(bytes, {});
        QCOMPARE(whole.text, text);
        for (const QString &expected : styles) {
            const int at = expected.section(u'=', 0, 0).toInt();
            QCOMPARE(QString::number(at) + u'=' + whole.styles.value(at), expected);
        }
        QList<int> everyByte;
        for (int cut = 1; cut < bytes.size(); ++cut) {
            everyByte << cut;
            const Decoded inTwo = decodeInPieces(bytes, {cut});
            QCOMPARE(inTwo.text, whole.text);
            QCOMPARE(inTwo.styles, whole.styles);
        }
        const Decoded byteByByte = decodeInPieces(bytes, everyByte);
        QCOMPARE(byteByByte.text, whole.text);
        QCOMPARE(byteByByte.styles, whole.styles);
    }

    // Lines of at most 4 characters in paragraphs of about 8; '|' stands
    // for the line separator.
    // Short random streams over the bytes that matter to UTF-8 and to line
    // breaks, cut at random places, must read as they do in one piece.
    void anyCutGivesTheSameText()
    {
        const QByteArrayList alphabet = {QByteArray(1, '\0'),
                                         "\n",
                                         "\r",
                                         "A",
                                         "\x80",
                                         "\x9f",
                                         "\xa9",
                                         "\xbf",
                                         "\xc0",
                                         "\xc3",
                                         "\xe0",
                                         "\xe2",
                                         "\xed",
                                         "\xef",
                                         "\xf0",
                                         "\xf4",
                                         "\xf8",
                                         "\xff",
                                         "\xef\xbb\xbf",
                                         "\x1b",
                                         "[",
                                         "]",
                                         "3",
                                         ";",
                                         "m",
                                         "\x07",
                                         "\\"};
        QRandomGenerator random(20261207);
        for (int round = 0; round < 20000; ++round) {
            QByteArray bytes;
            const int length = random.bounded(1, 12);
            for (int i = 0; i < length; ++i)
                bytes.append(alphabet.at(random.bounded(int(alphabet.size()))));
            QList<int> cuts;
            for (int at = 1; at < bytes.size(); ++at) {
                if (random.bounded(2))
                    cuts << at;
            }
            const QString whole = decodeText(bytes);
            QVERIFY2(decodeInPieces(bytes, cuts).text == whole, bytes.toHex(' ').constData());
        }
    }
};

TAVLINO_TEST_MAIN(ReceiveDecoderTest)
#include "tst_receivedecoder.moc"
