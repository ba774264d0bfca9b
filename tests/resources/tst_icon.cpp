#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QtEndian>

namespace {

struct IconEntry {
    int width;
    int height;
    int bitCount;
    QByteArray data;
};

QList<IconEntry> readIconDirectory(const QByteArray &file)
{
    QList<IconEntry> entries;
    if (file.size() < 6 || qFromLittleEndian<quint16>(file.constData() + 2) != 1)
        return entries;
    const int count = qFromLittleEndian<quint16>(file.constData() + 4);
    for (int i = 0; i < count; ++i) {
        const char *entry = file.constData() + 6 + 16 * i;
        if (6 + 16 * (i + 1) > file.size())
            return {};
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        if (qint64(offset) + size > file.size())
            return {};
        entries.append({uchar(entry[0]) ? uchar(entry[0]) : 256,
                        uchar(entry[1]) ? uchar(entry[1]) : 256,
                        qFromLittleEndian<quint16>(entry + 6), file.mid(int(offset), int(size))});
    }
    return entries;
}

// Bits per pixel of the image itself: a PNG's IHDR, or a bitmap's header.
int storedBitsPerPixel(const QByteArray &data)
{
    if (data.startsWith("\x89PNG")) {
        const int depth = uchar(data.at(24));
        const int colourType = uchar(data.at(25));
        return colourType == 6 ? depth * 4 : -1;
    }
    return qFromLittleEndian<quint16>(data.constData() + 14);
}

} // namespace

class IconTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WarningGuard::install(); }
    void cleanup() { WarningGuard::verifyNone(); }

    void windowsIconHoldsSixSizesIn32Bit()
    {
        QFile file(QStringLiteral(TAVLINO_ICO));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<IconEntry> entries = readIconDirectory(file.readAll());
        QList<int> sizes;
        for (const IconEntry &entry : entries) {
            QCOMPARE(entry.width, entry.height);
            QCOMPARE(entry.bitCount, 32);
            QCOMPARE(storedBitsPerPixel(entry.data), 32);
            sizes << entry.width;
        }
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<int>({16, 32, 48, 64, 128, 256}));
    }

    void resourceScriptEmbedsTheIcon()
    {
        QFile script(QStringLiteral(TAVLINO_RC));
        QVERIFY(script.open(QIODevice::ReadOnly | QIODevice::Text));
        QVERIFY(script.readAll().contains("IDI_ICON1 ICON \"tavlino.ico\""));
    }
};

TAVLINO_TEST_MAIN(IconTest)
#include "tst_icon.moc"
