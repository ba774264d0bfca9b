#include "testsupport.h"

#include "historylineedit.h"

#include <QApplication>
#include <QSignalSpy>

class HistoryLineEditTest : public QObject
{
    Q_OBJECT

private:
    void store(historyLineEdit &edit, const QStringList &lines)
    {
        for (const QString &line : lines) {
            edit.setText(line);
            edit.addToHistory();
        }
    }
    // Presses each key in turn and records the text shown after it.
    QStringList press(historyLineEdit &edit, const QList<Qt::Key> &keys,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QStringList shown;
        for (Qt::Key key : keys) {
            QTest::keyClick(&edit, key, modifiers);
            shown << edit.text();
        }
        return shown;
    }

private slots:
    void initTestCase() { WarningGuard::install(); }

    void cleanup() { WarningGuard::verifyNone(); }

    void walkThroughRecallsInOrder()
    {
        historyLineEdit edit;
        store(edit, {"a", "b", "c"});
        QVERIFY(edit.text().isEmpty());
        const QList<Qt::Key> keys = {Qt::Key_Up,   Qt::Key_Up,   Qt::Key_Up,
                                     Qt::Key_Down, Qt::Key_Down, Qt::Key_Down,
                                     Qt::Key_Down, Qt::Key_Up,   Qt::Key_Up};
        QCOMPARE(press(edit, keys), QStringList({"c", "b", "a", "a", "b", "c", "", "", "c"}));
    }

    void downRightAfterUpShowsWhatTheNextUpWould()
    {
        historyLineEdit edit;
        store(edit, {"a", "b", "c"});
        QCOMPARE(press(edit, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down}), QStringList({"c", "b", "a"}));
    }

    void modifiersDoNotMatter_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("shift") << int(Qt::ShiftModifier);
        QTest::newRow("control") << int(Qt::ControlModifier);
        QTest::newRow("alt") << int(Qt::AltModifier);
    }
    void modifiersDoNotMatter()
    {
        QFETCH(int, modifiers);
        historyLineEdit edit;
        store(edit, {"a", "b"});
        QCOMPARE(
            press(edit, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down}, Qt::KeyboardModifiers(modifiers)),
            QStringList({"b", "a", "a"}));
    }

    void keepsTheTenNewestLinesDuplicatesIncluded()
    {
        historyLineEdit edit;
        store(edit, {"1", "2", "3", "3", "5", "6", "7", "8", "9", "10", "11"});
        QList<Qt::Key> ups;
        for (int i = 0; i < 12; ++i)
            ups << Qt::Key_Up;
        QCOMPARE(press(edit, ups),
                 QStringList({"11", "10", "9", "8", "7", "6", "5", "3", "3", "2", "2", "2"}));
    }

    void storingResetsThePosition()
    {
        historyLineEdit edit;
        store(edit, {"a", "b", "c"});
        press(edit, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down});
        store(edit, {"d"});
        QCOMPARE(press(edit, {Qt::Key_Up, Qt::Key_Up}), QStringList({"d", "c"}));
    }

    void emptyHistoryLeavesTheFieldAlone()
    {
        historyLineEdit edit;
        QTest::keyClicks(&edit, QStringLiteral("draft"));
        QCOMPARE(press(edit, {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}),
                 QStringList({"draft", "draft", "draft", "draft"}));
    }

    void recallIsNoUserEdit()
    {
        historyLineEdit edit;
        store(edit, {"a"});
        QSignalSpy edited(&edit, SIGNAL(textEdited(QString)));
        press(edit, {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down});
        edit.setText(QStringLiteral("x"));
        edit.addToHistory();
        QCOMPARE(edited.count(), 0);
        QTest::keyClick(&edit, Qt::Key_B);
        QCOMPARE(edited.count(), 1);
    }

    void otherKeysEditNormally()
    {
        historyLineEdit edit;
        QTest::keyClicks(&edit, QStringLiteral("AT"));
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClick(&edit, Qt::Key_Right);
        QTest::keyClick(&edit, Qt::Key_X);
        QTest::keyClick(&edit, Qt::Key_End);
        QTest::keyClick(&edit, Qt::Key_Left);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Z);
        QCOMPARE(edit.text(), QStringLiteral("AzT"));
    }
};

TAVLINO_TEST_MAIN(HistoryLineEditTest)
#include "tst_historylineedit.moc"
