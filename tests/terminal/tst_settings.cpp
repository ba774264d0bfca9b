#include "testsupport.h"

#include "tavlino.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

QComboBox *combo(QWidget *window, const char *name)
{
    return window->findChild<QComboBox *>(QLatin1String(name));
}

QCheckBox *echoBox(QWidget *window)
{
    return window->findChild<QCheckBox *>(QStringLiteral("input_echo"));
}

QAction *action(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QLatin1String(name));
}

// The rate, frame and output lines as the status bar says them.
QString lineText(QWidget *window)
{
    return window->findChild<QLabel *>(QStringLiteral("lbl_line"))->text();
}

// The two helper roles this test binary plays when started by the test
// itself, so that the settings cross a real process exit.
int runChild(const QByteArray &role, int argc, char *argv[])
{
    QApplication app(argc, argv);
    Tavlino window;
    window.show();
    if (role == "choose") {
        combo(&window, "input_baud")->setCurrentIndex(7);
        echoBox(&window)->setChecked(true);
        combo(&window, "input_einde")->setCurrentIndex(2);
        QTimer::singleShot(0, &window, &QWidget::close);
        return app.exec();
    }
    std::printf("%s %d %d\n", qPrintable(combo(&window, "input_baud")->currentText()),
                int(echoBox(&window)->isChecked()), combo(&window, "input_einde")->currentIndex());
    return 0;
}

#ifdef Q_OS_WIN
// On Windows the store is the registry key HKCU\Software\Orvek\Tavlino,
// and a value there has a type: what a person or another program left may
// be a number as text, a switch as a DWORD, a list, raw bytes.
struct RegistryValue {
    QString key;
    DWORD type;
    QByteArray data;
};

RegistryValue text(const char *key, const QString &value)
{
    const QByteArray data(reinterpret_cast<const char *>(value.utf16()), int(value.size() + 1) * 2);
    return {QLatin1String(key), REG_SZ, data};
}

RegistryValue dword(const char *key, quint32 value)
{
    return {QLatin1String(key), REG_DWORD,
            QByteArray(reinterpret_cast<const char *>(&value), sizeof value)};
}

RegistryValue qword(const char *key, quint64 value)
{
    return {QLatin1String(key), REG_QWORD,
            QByteArray(reinterpret_cast<const char *>(&value), sizeof value)};
}

RegistryValue list(const char *key, const QStringList &items)
{
    QByteArray data;
    for (const QString &item : items)
        data += text(key, item).data;
    data.append(2, '\0');
    return {QLatin1String(key), REG_MULTI_SZ, data};
}

RegistryValue bytes(const char *key, const QByteArray &data)
{
    return {QLatin1String(key), REG_BINARY, data};
}

bool writeRegistry(const QList<RegistryValue> &values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Orvek\\Tavlino", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegistryValue &v : values)
        ok = ok && RegSetValueExW(key, reinterpret_cast<const wchar_t *>(v.key.utf16()), 0, v.type,
                                  reinterpret_cast<const BYTE *>(v.data.constData()),
                                  DWORD(v.data.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}
#else
QString storePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Orvek/Tavlino.conf");
}

void writeStore(const QByteArray &contents)
{
    QSettings(QStringLiteral("Orvek"), QStringLiteral("Tavlino")).clear();
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}
#endif

} // namespace

#ifdef Q_OS_WIN
Q_DECLARE_METATYPE(QList<RegistryValue>)
#endif

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    QByteArray runHelper(const QByteArray &role, const QString &configHome)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAVLINO_SETTINGS_CHILD"), QString::fromLatin1(role));
        env.insert(QStringLiteral("TAVLINO_KEEP_CONFIG_HOME"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0)
            return "helper failed: " + child.readAllStandardError();
        return child.readAllStandardOutput().trimmed();
    }

private slots:
    void initTestCase() { WarningGuard::install(); }

    void init()
    {
        QSettings store(QStringLiteral("Orvek"), QStringLiteral("Tavlino"));
        store.clear();
        store.sync();
    }

    void cleanup() { WarningGuard::verifyNone(); }

    void firstRunShowsTheDefaults()
    {
        Tavlino window;
        QCOMPARE(combo(&window, "input_baud")->currentText(), QStringLiteral("1200"));
        QVERIFY(!echoBox(&window)->isChecked());
        QCOMPARE(combo(&window, "input_einde")->currentIndex(), 0);
    }

    void choicesComeBackAndNothingElseIsStored()
    {
        {
            Tavlino window;
            window.show();
            // A rate beyond the first eight is kept by its index; a typed
            // one is used for an Open only.
            combo(&window, "input_baud")->setCurrentIndex(13);
            combo(&window, "input_baud")->setEditText(QStringLiteral("74880"));
            echoBox(&window)->setChecked(true);
            combo(&window, "input_einde")->setCurrentIndex(2);
            combo(&window, "input_com")->addItem(QStringLiteral("/dev/pts/99"));
            combo(&window, "input_com")->setCurrentIndex(combo(&window, "input_com")->count() - 1);
            // A meter's 7E2 with XON/XOFF, and a board left running with DTR
            // low; its lines stamped, and its next log raw; escapes sent,
            // hex shown, the text two steps larger.
            for (const char *name :
                 {"actionDataBits7", "actionParityEven", "actionStopBits2", "actionFlowXonXoff",
                  "actionDtr", "actionTimestamps", "actionLogRaw", "actionEscapes", "actionHex",
                  "actionZoomIn", "actionZoomIn"})
                action(&window, name)->trigger();
            QVERIFY(window.close());
        }
        QSettings store(QStringLiteral("Orvek"), QStringLiteral("Tavlino"));
        QStringList keys = store.allKeys();
        keys.sort();
        QCOMPARE(keys, QStringList({"baudRate", "dataBits", "dtr", "flowControl", "hex", "lineEnd",
                                    "localEcho", "logRaw", "parity", "rts", "sendEscapes",
                                    "stopBits", "timestamps", "zoom"}));
        QCOMPARE(store.value(QStringLiteral("zoom")).toInt(), 125);

        Tavlino again;
        QCOMPARE(combo(&again, "input_baud")->currentText(), QStringLiteral("921600"));
        QVERIFY(echoBox(&again)->isChecked());
        QCOMPARE(combo(&again, "input_einde")->currentIndex(), 2);
        QVERIFY(combo(&again, "input_com")->findText(QStringLiteral("/dev/pts/99")) < 0);
        QCOMPARE(lineText(&again), QStringLiteral("921600 7E2 XON/XOFF DTR off"));
        for (const char *name :
             {"actionDataBits7", "actionParityEven", "actionStopBits2", "actionFlowXonXoff",
              "actionRts", "actionTimestamps", "actionLogRaw", "actionEscapes", "actionHex"})
            QVERIFY2(action(&again, name)->isChecked(), name);
        QCOMPARE(again.findChild<QPlainTextEdit *>(QStringLiteral("output"))->font().pointSizeF(),
                 QApplication::font().pointSizeF() * 1.25);
        // A log is never started by itself.
        QVERIFY(!action(&again, "actionLog")->isChecked());
        QVERIFY(!action(&again, "actionDtr")->isChecked());
    }

    void choicesSurviveTheProcess()
    {
        QTemporaryDir configHome;
        QCOMPARE(runHelper("report", configHome.path()), QByteArray("1200 0 0"));
        QCOMPARE(runHelper("choose", configHome.path()), QByteArray());
        QCOMPARE(runHelper("report", configHome.path()), QByteArray("115200 1 2"));
    }

    void damagedValuesCountAsMissing_data()
    {
#ifdef Q_OS_WIN
        QTest::addColumn<QList<RegistryValue>>("contents");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("lineEnd");
        QTest::addColumn<QString>("line");
        using Values = QList<RegistryValue>;
        QTest::newRow("as Qt writes them") << Values{dword("baudRate", 5),
                                                     text("localEcho", QStringLiteral("true")),
                                                     dword("lineEnd", 1),
                                                     text("dataBits", QStringLiteral("7")),
                                                     text("parity", QStringLiteral("even")),
                                                     text("dtr", QStringLiteral("false"))}
                                           << "38400" << true << 1 << "38400 7E1 DTR off";
        QTest::newRow("numbers as text, a switch as a DWORD")
            << Values{text("baudRate", QStringLiteral("5")),   dword("localEcho", 1),
                      text("lineEnd", QStringLiteral("2")),    dword("dataBits", 5),
                      text("stopBits", QStringLiteral("1.5")), dword("rts", 0)}
            << "38400" << true << 2 << "38400 5N1.5 RTS off";
        QTest::newRow("a switch off as a DWORD") << Values{dword("localEcho", 0), dword("dtr", 0)}
                                                 << "1200" << false << 0 << "1200 8N1 DTR off";
        QTest::newRow("past the end") << Values{dword("baudRate", 18), dword("lineEnd", 3),
                                                dword("dataBits", 9), dword("stopBits", 3)}
                                      << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("negative") << Values{dword("baudRate", 0xFFFFFFFF),
                                            dword("lineEnd", 0xFFFFFFFE)}
                                  << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("not numbers") << Values{text("baudRate", QStringLiteral("fast")),
                                               text("localEcho", QStringLiteral("maybe")),
                                               text("lineEnd", QStringLiteral("\\r\\n")),
                                               text("dataBits", QStringLiteral("seven")),
                                               text("parity", QStringLiteral("sometimes")),
                                               text("flowControl", QStringLiteral("yes")),
                                               text("dtr", QStringLiteral("maybe"))}
                                     << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("a QWORD past 32 bits")
            << Values{qword("baudRate", 0x100000005ULL), qword("lineEnd", 0x100000001ULL),
                      qword("dataBits", 0x100000007ULL)}
            << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("lists")
            << Values{list("baudRate", {QStringLiteral("1"), QStringLiteral("2")}),
                      list("localEcho", {QStringLiteral("1"), QStringLiteral("2")}),
                      list("lineEnd", {}),
                      list("parity", {QStringLiteral("even"), QStringLiteral("odd")}),
                      list("rts", {QStringLiteral("false"), QStringLiteral("true")})}
            << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("raw bytes")
            << Values{bytes("baudRate", QByteArray("\xff\xfe\x00", 3)),
                      bytes("localEcho", QByteArray("\x01", 1)), bytes("lineEnd", QByteArray()),
                      bytes("flowControl", QByteArray("none", 4)),
                      bytes("dtr", QByteArray("\x00", 1))}
            << "1200" << false << 0 << "1200 8N1";
#else
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("lineEnd");
        QTest::addColumn<QString>("line");
        QTest::newRow("valid") << QByteArray("baudRate=5\nlocalEcho=true\nlineEnd=1\n"
                                             "dataBits=7\nparity=odd\nstopBits=2\n"
                                             "flowControl=rts/cts\ndtr=false\nrts=false\n")
                               << "38400" << true << 1 << "38400 7O2 RTS/CTS DTR off RTS off";
        QTest::newRow("written by hand")
            << QByteArray("dataBits=5\nparity= Mark\nflowControl=XON/XOFF\n"
                          "dtr=0\nrts=1\n")
            << "1200" << false << 0 << "1200 5M1 XON/XOFF DTR off";
        QTest::newRow("past the end")
            << QByteArray("baudRate=18\nlineEnd=3\ndataBits=9\nstopBits=3\n") << "1200" << false
            << 0 << "1200 8N1";
        // Termios has no 1.5 stop bits.
        QTest::newRow("1.5 stop bits")
            << QByteArray("stopBits=1.5\n") << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("negative") << QByteArray("baudRate=-1\nlineEnd=-1\ndataBits=-7\n") << "1200"
                                  << false << 0 << "1200 8N1";
        QTest::newRow("not numbers")
            << QByteArray("baudRate=fast\nlocalEcho=maybe\nlineEnd=\\r\\n\ndataBits=seven\n"
                          "parity=sometimes\nflowControl=yes\ndtr=maybe\nrts=2\n")
            << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("huge") << QByteArray("baudRate=99999999999999999999\n") << "1200" << false
                              << 0 << "1200 8N1";
        QTest::newRow("lists") << QByteArray(
                                      "baudRate=1, 2\nlocalEcho=1, 2\nlineEnd=@Invalid()\n"
                                      "parity=even, odd\ndtr=false, true\nstopBits=@Invalid()\n")
                               << "1200" << false << 0 << "1200 8N1";
        QTest::newRow("garbage file") << QByteArray("\xff\xfe[\0\0=\n==\n[General\nbaudRate", 26)
                                      << "1200" << false << 0 << "1200 8N1";
#endif
    }
    void damagedValuesCountAsMissing()
    {
        QFETCH(QString, baud);
        QFETCH(bool, echo);
        QFETCH(int, lineEnd);
        QFETCH(QString, line);
#ifdef Q_OS_WIN
        QFETCH(QList<RegistryValue>, contents);
        QVERIFY(writeRegistry(contents));
#else
        QFETCH(QByteArray, contents);
        writeStore("[General]\n" + contents);
#endif
        {
            Tavlino window;
            QCOMPARE(combo(&window, "input_baud")->currentText(), baud);
            QCOMPARE(echoBox(&window)->isChecked(), echo);
            QCOMPARE(combo(&window, "input_einde")->currentIndex(), lineEnd);
            QCOMPARE(lineText(&window), line);
            QVERIFY(window.close());
        }
        QSettings store(QStringLiteral("Orvek"), QStringLiteral("Tavlino"));
        QVERIFY(store.value(QStringLiteral("baudRate")).toInt() >= 0);
        QVERIFY(store.value(QStringLiteral("lineEnd")).toInt() >= 0);
    }

    void unwritableStoreStillOpensAndCloses()
    {
#ifdef Q_OS_WIN
        QSKIP("the registry has no file to stand in the way");
#endif
        // A file where the configuration folder should be: not even root can
        // create the store there.
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString configHome = blocker.fileName() + QStringLiteral("/config");
        QCOMPARE(runHelper("choose", configHome), QByteArray());
        QCOMPARE(runHelper("report", configHome), QByteArray("1200 0 0"));
    }
};

int main(int argc, char *argv[])
{
    const QByteArray role = qgetenv("TAVLINO_SETTINGS_CHILD");
    prepareTestEnvironment();
    if (!role.isEmpty())
        return runChild(role, argc, argv);
    QApplication app(argc, argv);
    SettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
