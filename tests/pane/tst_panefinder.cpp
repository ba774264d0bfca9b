#include "testsupport.h"

#include "paceddisplay.h"
#include "panefinder.h"

#include <QApplication>
#include <QPlainTextEdit>

class PaneFinderTest : public QObject
{
    Q_OBJECT

private:
    // Where the match is, as "line:column index", from the pane's text.
    static QString where(const QPlainTextEdit &pane, const PaneFinder &finder)
    {
        if (!finder.hasMatch())
            return QString();
        const QString text = pane.toPlainText();
        const int at = pane.textCursor().selectionStart();
        const int lineStart = at == 0 ? 0 : int(text.lastIndexOf(u'\n', at - 1)) + 1;
        return QStringLiteral("%1:%2 %3")
            .arg(text.left(at).count(u'\n'))
            .arg(at - lineStart)
            .arg(finder.current());
    }

private Q_SLOTS:
    void initTestCase() { WarningGuard::install(); }
    void cleanup() { WarningGuard::verifyNone(); }

    // From the end, where the person is, round to the first match; then
    // next (n) and previous (p), round both ends.
    void findsCountsAndGoesRound_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sought");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("visited");
        QTest::newRow("no capital: any case")
            << "Guru guru GURU\nend"
            << "guru" << 3 << "nnnp" << QStringList{"0:0 1", "0:5 2", "0:10 3", "0:0 1", "0:10 3"};
        QTest::newRow("a capital: case matters")
            << "Guru guru GURU"
            << "Guru" << 1 << "n" << QStringList{"0:0 1", "0:0 1"};
        QTest::newRow("a capital beyond ASCII")
            << QStringLiteral("éclair Éclair") << QStringLiteral("Éclair") << 1 << ""
            << QStringList{"0:7 1"};
        QTest::newRow("accents in any case")
            << QStringLiteral("éclair Éclair") << QStringLiteral("éclair") << 2 << "p"
            << QStringList{"0:0 1", "0:7 2"};
        QTest::newRow("matches do not overlap")
            << "aaaaa"
            << "aa" << 2 << "n" << QStringList{"0:0 1", "0:2 2"};
        QTest::newRow("none") << "abc"
                              << "x" << 0 << "np" << QStringList{"", "", ""};
        QString lines;
        for (int i = 0; i < 3000; ++i)
            lines += (i == 5 || i == 1500 || i == 2999 ? QStringLiteral("needle %1\n")
                                                       : QStringLiteral("line %1\n"))
                         .arg(i);
        // Spread over many of the pane's paragraphs.
        QTest::newRow("across paragraphs")
            << lines << "needle" << 3 << "nnnpp"
            << QStringList{"5:0 1", "1500:0 2", "2999:0 3", "5:0 1", "2999:0 3", "1500:0 2"};
    }
    void findsCountsAndGoesRound()
    {
        QFETCH(QString, text);
        QFETCH(QString, sought);
        QFETCH(int, total);
        QFETCH(QString, steps);
        QFETCH(QStringList, visited);
        QPlainTextEdit pane;
        pane.show();
        PacedDisplay display(&pane);
        PaneFinder finder(&pane);
        display.append(text);
        display.showAll();
        finder.find(sought);
        QTRY_VERIFY(finder.isComplete());
        QCOMPARE(finder.total(), total);
        QStringList went = {where(pane, finder)};
        for (QChar step : steps) {
            if (step == u'n')
                finder.next();
            else
                finder.previous();
            went << where(pane, finder);
        }
        QCOMPARE(went, visited);
        if (total > 0)
            QCOMPARE(pane.textCursor().selectedText().toLower(), sought.toLower());
    }

    // Text arriving while the search is on: counted, and the first match
    // to come is the match; Clear forgets them, stop the highlights.
    void matchesThatArriveAreCounted()
    {
        QPlainTextEdit pane;
        pane.show();
        PacedDisplay display(&pane);
        PaneFinder finder(&pane);
        display.append(QStringLiteral("nothing here\n"));
        display.showAll();
        finder.find(QStringLiteral("boot"));
        QTRY_VERIFY(finder.isComplete());
        QCOMPARE(finder.total(), 0);
        display.append(QStringLiteral("boot 0\n"));
        display.showAll();
        QTRY_VERIFY(finder.hasMatch());
        QCOMPARE(where(pane, finder), QStringLiteral("1:0 1"));
        QString more;
        for (int i = 1; i <= 500; ++i)
            more += QStringLiteral("line %1 boot\n").arg(i);
        display.append(more);
        display.showAll();
        QTRY_VERIFY(finder.isComplete() && finder.total() == 501);
        QCOMPARE(where(pane, finder), QStringLiteral("1:0 1"));
        QTRY_VERIFY(!pane.extraSelections().isEmpty());
        display.clear();
        QTRY_COMPARE(finder.total(), 0);
        QVERIFY(!finder.hasMatch());
        display.append(QStringLiteral("boot again\n"));
        display.showAll();
        QTRY_COMPARE(where(pane, finder), QStringLiteral("0:0 1"));
        finder.stop();
        QVERIFY(pane.extraSelections().isEmpty());
    }
};

TAVLINO_TEST_MAIN(PaneFinderTest)
#include "tst_panefinder.moc"
