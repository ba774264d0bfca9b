#include "testsupport.h"

#include "about.h"
#include "application.h"
#include "tavlino.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <memory>

class AboutTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Tavlino> window;

    void chooseAbout()
    {
        QMenu *help = window->findChild<QMenu *>(QStringLiteral("menuHelp"));
        QVERIFY(help);
        QAction *about = nullptr;
        for (QAction *action : help->actions()) {
            if (action->text() == QLatin1String("&About"))
                about = action;
        }
        QVERIFY(about);
        about->trigger();
    }
    QList<About *> dialogs() { return window->findChildren<About *>(); }
    QLineEdit *input() { return window->findChild<QLineEdit *>(QStringLiteral("input")); }

private slots:
    void initTestCase() { WarningGuard::install(); }

    void init()
    {
        window = std::make_unique<Tavlino>();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup()
    {
        window.reset();
        WarningGuard::verifyNone();
    }

    void dialogShowsNameVersionAndCredits()
    {
        QCOMPARE(dialogs().size(), 1);
        About *about = dialogs().first();
        QCOMPARE(about->metaObject()->className(), "About");
        QCOMPARE(about->objectName(), QStringLiteral("About"));
        QCOMPARE(about->windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(about->size(), QSize(313, 160));
        QVERIFY(!about->isVisible());
        auto *name = about->findChild<QLabel *>(QStringLiteral("label"));
        QCOMPARE(name->text(), QStringLiteral("Tavlino"));
        QCOMPARE(name->font().pointSize(), 20);
        QCOMPARE(about->findChild<QLabel *>(QStringLiteral("label_2"))->text(),
                 QStringLiteral("V1.1"));
        describeApplication();
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.orvek.Tavlino"));
        // The form's text has to follow the project's version.
        QCOMPARE(about->findChild<QLabel *>(QStringLiteral("label_2"))->text(),
                 QStringLiteral("V" TAVLINO_VERSION));
        auto *credits = about->findChild<QLabel *>(QStringLiteral("label_3"));
        QCOMPARE(credits->text().split(QLatin1Char('\n')).size(), 3);
        QCOMPARE(credits->alignment(), Qt::AlignCenter);
        QCOMPARE(about->findChild<QPushButton *>(QStringLiteral("btn_ok"))->text(),
                 QStringLiteral("Ok"));
    }

    void aboutIsOneModalDialogThatOkHides()
    {
        // On a real X server under openbox, a dialog hidden and shown again
        // at once now and then races the window manager, and Qt's X layer
        // asks about a window the server has just let go of.
        WarningGuard::expect(
            QStringLiteral("^QXcbConnection: XCB error: 3 \\(BadWindow\\).*TranslateCoords"));
        WarningGuard::expect(
            QStringLiteral("^internal error: +void QXcbWindow::setNetWmStateOnUnmappedWindow\\(\\) "
                           "called on mapped window$"));
        chooseAbout();
        QCOMPARE(dialogs().size(), 1);
        About *about = dialogs().first();
        QVERIFY(about->isVisible());
        QVERIFY(about->isModal());
        QCOMPARE(QApplication::activeModalWidget(), about);

        // Keys sent to the main window through the window system go nowhere.
        QTest::keyClick(window->windowHandle(), Qt::Key_A);
        QVERIFY(input()->text().isEmpty());

        QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("btn_ok")),
                          Qt::LeftButton);
        QVERIFY(!about->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        input()->setFocus();
        QTest::keyClick(window->windowHandle(), Qt::Key_A);
        QCOMPARE(input()->text(), QStringLiteral("a"));

        chooseAbout();
        QCOMPARE(dialogs().size(), 1);
        QCOMPARE(dialogs().first(), about);
        QVERIFY(about->isVisible());
        about->close();
        QVERIFY(!about->isVisible());
        QCOMPARE(dialogs().size(), 1);
    }
};

TAVLINO_TEST_MAIN(AboutTest)
#include "tst_about.moc"
