#ifndef PORTLISTWATCH_H
#define PORTLISTWATCH_H

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>

class QFileSystemWatcher;

// Says when a serial port may have appeared or gone, without polling: on
// Unix a change in /dev, where the kernel adds and removes device nodes,
// udev gives them their permissions and its rules their links; on Windows
// the system's broadcast of a port's arrival or removal.
class PortListWatch : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit PortListWatch(QObject *parent = nullptr);
    ~PortListWatch() override;

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
#else
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;
#endif

Q_SIGNALS:
    void changed();
    // On Windows, a port that has just arrived, by its name (COM7).
    void arrived(const QString &portName);

private:
    QFileSystemWatcher *devices = nullptr;
};

#endif // PORTLISTWATCH_H
