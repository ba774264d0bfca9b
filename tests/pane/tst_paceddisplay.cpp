#include "testsupport.h"

#include "paceddisplay.h"
#include "panecolours.h"
#include "panelines.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

class PacedDisplayTest : public QObject
{
    Q_OBJECT

private:
    QPlainTextEdit pane;

private Q_SLOTS:
    void initTestCase() { WarningGuard::install(); }
    void init() { pane.clear(); }
    void cleanup() { WarningGuard::verifyNone(); }

    void backlogGoesInPiecesAndShowAllFinishesIt()
    {
        PacedDisplay display(&pane);
        const QString backlog = QString(600000, u'a');
        display.append(backlog);
        // Nothing before the event loop runs, then less than all in one pass.
        QVERIFY(pane.toPlainText().isEmpty());
        QTRY_VERIFY(!pane.toPlainText().isEmpty());
        QVERIFY(pane.toPlainText().size() < backlog.size() + backlog.size() / 4096);
        display.append(QStringLiteral("end"));
        display.showAll();
        const QString shown = pane.toPlainText().remove(u'\n');
        QCOMPARE(shown, backlog + QStringLiteral("end"));
    }

    void linesAreLaidOutInParagraphs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("paragraph");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short enough") << "abc\ndef" << 1 << 1 << "abc|def";
        QTest::newRow("full line before the text") << "abc" << 4 << 4 << "|abc";
        QTest::newRow("long lines continue, full paragraphs end")
            << "abcdefghij\nxyz" << 2 << 2 << "ab|cdef\nghij|xyz";
        QTest::newRow("the break after a full paragraph") << "ab\ncd\nef" << 5 << 1 << "ab|cd\nef";
        QTest::newRow("the device's own separators")
            << QStringLiteral("a\u2028b\u2029c") << 7 << 1 << QStringLiteral("a\nb\u2029c");
        QTest::newRow("character outside the BMP stays whole")
            << QStringLiteral("abc\U0001F600d") << 0 << 0 << QStringLiteral("abc\U0001F600|d");
    }
    void linesAreLaidOutInParagraphs()
    {
        QFETCH(QString, text);
        QFETCH(int, paragraph);
        QFETCH(int, line);
        QFETCH(QString, shown);
        PaneEnd end{paragraph, line};
        QCOMPARE(layOutLines(text, end, 4, 8), shown.replace(u'|', QChar::LineSeparator));
    }

    void streamIsPacedAndQuietTextGoesInAtOnce_data()
    {
        QTest::addColumn<qint64>("sinceShown");
        QTest::addColumn<int>("wait");
        QTest::newRow("nothing shown yet") << qint64(-1) << 0;
        QTest::newRow("after a quiet spell") << qint64(5000) << 0;
        QTest::newRow("a pace after the last update") << qint64(40) << 0;
        QTest::newRow("streaming, just updated") << qint64(0) << 40;
        QTest::newRow("streaming, mid-pace") << qint64(25) << 15;
    }
    void streamIsPacedAndQuietTextGoesInAtOnce()
    {
        QFETCH(qint64, sinceShown);
        QFETCH(int, wait);
        QCOMPARE(PacedDisplay::waitBeforeShowing(sinceShown), wait);
        // The newest text is never more than 50 ms behind.
        QVERIFY(PacedDisplay::waitBeforeShowing(sinceShown) < 50);
    }

    // What Qt worked out to lay out a paragraph is kept for painting it
    // only by the newest few, before and after a Clear.
    void onlyTheNewestParagraphsKeepTheirGlyphs()
    {
        PacedDisplay display(&pane);
        const QString lines = (QString(100, u'x') + u'\n').repeated(80);
        for (int update = 0; update < 10; ++update) {
            if (update == 5)
                display.clear();
            display.append(lines);
            display.showAll();
        }
        QVERIFY(pane.document()->blockCount() > 3 * 8);
        int keeping = 0;
        for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next())
            keeping += block.layout()->cacheEnabled();
        QVERIFY(pane.document()->lastBlock().layout()->cacheEnabled());
        QVERIFY(keeping <= 8);
    }

    // Every colour a device can ask for, on its own and as a background, is
    // drawn readable (WCAG AA) on light and dark desktops; the pane's own
    // lines stay in the pane's own colours, and the device's colour goes
    // on after them.
    void deviceColoursAreReadable_data()
    {
        QTest::addColumn<QColor>("base");
        QTest::addColumn<QColor>("text");
        // On mid-grey, no yellow is readable: it turns nearly black.
        QTest::addColumn<bool>("yellowStaysYellow");
        QTest::newRow("light desktop") << QColor(Qt::white) << QColor(Qt::black) << true;
        QTest::newRow("dark desktop") << QColor(0x1e1e1e) << QColor(0xd4d4d4) << true;
        QTest::newRow("mid-grey desktop") << QColor(0x777777) << QColor(Qt::white) << false;
    }
    void deviceColoursAreReadable()
    {
        QFETCH(QColor, base);
        QFETCH(QColor, text);
        QFETCH(bool, yellowStaysYellow);
        QPalette palette = pane.palette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, text);
        pane.setPalette(palette);
        QList<TextStyle> styles;
        for (int index = 0; index < 256; ++index) {
            TextStyle foreground;
            foreground.foreground = TextColour::indexed(index);
            TextStyle background;
            background.background = TextColour::indexed(index);
            styles << foreground << background;
        }
        TextStyle faint;
        faint.attributes = TextStyle::Faint | TextStyle::Bold;
        faint.foreground = TextColour::indexed(2);
        TextStyle reversed;
        reversed.attributes = TextStyle::Reverse;
        reversed.foreground = TextColour::rgb(200, 200, 0);
        styles << faint << reversed;
        StyledText received;
        for (int i = 0; i < styles.size(); ++i) {
            received.changes.append({int(received.text.size()), styles.at(i)});
            received.text += u'x';
        }
        PacedDisplay display(&pane);
        display.append(received);
        display.appendLine(QStringLiteral("( own )"));
        display.append(QStringLiteral("more"));
        display.showAll();

        const auto formatAt = [this](int position) {
            QTextCursor at(pane.document());
            at.setPosition(position + 1);
            return at.charFormat();
        };
        for (int i = 0; i < styles.size(); ++i) {
            const QTextCharFormat format = formatAt(i);
            const QColor drawn = format.hasProperty(QTextFormat::ForegroundBrush)
                                     ? format.foreground().color()
                                     : text;
            const QColor behind = format.hasProperty(QTextFormat::BackgroundBrush)
                                      ? format.background().color()
                                      : base;
            QVERIFY2(
                PaneColours::contrast(drawn, behind) >= 4.5,
                qPrintable(
                    QStringLiteral("style %1: %2 on %3").arg(i).arg(drawn.name(), behind.name())));
        }
        // Yellow is still yellow, only darker or lighter; bold is bold.
        const QColor yellow = formatAt(2 * 3).foreground().color();
        if (yellowStaysYellow)
            QVERIFY(qMin(yellow.red(), yellow.green()) > yellow.blue() + 60);
        QCOMPARE(formatAt(2 * 256).fontWeight(), int(QFont::Bold));
        // The pane's own line, then the device's text in its last colour.
        const int own = int(styles.size()) + 1;
        QCOMPARE(pane.toPlainText().mid(own), QStringLiteral("( own )more"));
        QVERIFY(!formatAt(own).hasProperty(QTextFormat::ForegroundBrush));
        QCOMPARE(formatAt(own + 7).foreground(), formatAt(own - 2).foreground());
    }

    void clearDropsWhatIsStillQueued()
    {
        PacedDisplay display(&pane);
        display.append(QStringLiteral("shown"));
        display.showAll();
        display.append(QStringLiteral("queued"));
        display.clear();
        QTest::qWait(50);
        QVERIFY(pane.toPlainText().isEmpty());
        display.append(QStringLiteral("next"));
        QTRY_COMPARE(pane.toPlainText(), QStringLiteral("next"));
    }
};

TAVLINO_TEST_MAIN(PacedDisplayTest)
#include "tst_paceddisplay.moc"
