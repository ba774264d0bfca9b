#include "testsupport.h"

#include "receivedecoder.h"

#include <QApplication>
#include <QRandomGenerator>

namespace {

QString decodeInPieces(const QByteArray &bytes, const QList<int> &cuts)
{
    ReceiveDecoder decoder;
    QString text;
    int from = 0;
    for (int cut : cuts) {
        text += decoder.decode(bytes.mid(from, cut - from));
        from = cut;
    }
    return text + decoder.decode(bytes.mid(from));
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
        QTest::newRow("line breaks fold") << QByteArray("a\r\nb\rc\nd\n\re") << "a\nb\nc\nd\n\ne";
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << "a\n\nb";
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
        QCOMPARE(decoder.decode(bytes), text);
    }

    void unfinishedCharacterWaitsForItsLastByte()
    {
        ReceiveDecoder decoder;
        QCOMPARE(decoder.decode("\xf0\x9f"), QString());
        QCOMPARE(decoder.decode("\x98"), QString());
        QCOMPARE(decoder.decode("\x80!"), QStringLiteral("\U0001F600!"));
        QCOMPARE(decoder.decode("\r"), QStringLiteral("\n"));
        decoder.reset();
        QCOMPARE(decoder.decode("\n"), QStringLiteral("\n"));
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
                                         "\xef\xbb\xbf"};
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
            const QString whole = decodeInPieces(bytes, {});
            QVERIFY2(decodeInPieces(bytes, cuts) == whole, bytes.toHex(' ').constData());
        }
    }
};

TAVLINO_TEST_MAIN(ReceiveDecoderTest)
#include "tst_receivedecoder.moc"
