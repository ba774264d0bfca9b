#include "testsupport.h"

#include "paceddisplay.h"

#include <QApplication>
#include <QPlainTextEdit>

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
