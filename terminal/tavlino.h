#ifndef TAVLINO_H
#define TAVLINO_H

#include "hexlines.h"
#include "linesettings.h"
#include "linestamps.h"
#include "receivedecoder.h"
#include "returnwatch.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

class About;
class Announcer;
class FindBar;
class HangUpWatch;
class LendWatch;
class LineMenu;
class PacedDisplay;
class PaneFinder;
class PaneZoom;
class PortListWatch;
class QCloseEvent;
class QLabel;
class QSettings;
class QTimer;
class SessionLog;
class SpokenReply;
class Ui_Tavlino;

class Tavlino : public QMainWindow
{
    Q_OBJECT

public:
    explicit Tavlino(QWidget *parent = nullptr);
    ~Tavlino() override;

protected:
    void closeEvent(QCloseEvent *event) override;

    // Who calls which slot:
    // - on_btn_send_clicked, on_btn_Open_clicked, on_btn_clear_clicked,
    //   on_actionAbout_triggered and on_input_continu_stateChanged are
    //   connected by name by setupUi (connectSlotsByName), so their names
    //   must match the form's object names and signals exactly;
    // - input_return_Pressed (input's returnPressed) and
    //   serial_error_Occurred (the port's errorOccurred) in the constructor,
    //   where Return in the Com and Baud boxes is also tied to btn_Open's
    //   click;
    //   on_btn_close_clicked, on_actionDtr_triggered, on_actionRts_triggered
    //   on_actionBreak_triggered, on_actionSaveOutput_triggered,
    //   on_actionLog_triggered, on_actionTimestamps_triggered,
    //   on_actionHex_triggered, on_actionZoomIn_triggered,
    //   on_actionZoomOut_triggered, on_actionZoomReset_triggered and
    //   on_actionQuit_triggered are connected by name too;
    // - dataReadyToRead (the port's readyRead) on a successful Open;
    // - input_key_Pressed (input's textEdited) only while Continu is checked.
private Q_SLOTS:
    void on_btn_send_clicked();
    void on_btn_Open_clicked();
    void input_return_Pressed();
    void input_key_Pressed(const QString &text);
    void dataReadyToRead();
    void on_btn_clear_clicked();
    void on_actionAbout_triggered();
    void on_input_continu_stateChanged(int arg1);
    void serial_error_Occurred(QSerialPort::SerialPortError error);
    void on_btn_close_clicked();
    void on_actionDtr_triggered(bool checked);
    void on_actionRts_triggered(bool checked);
    void on_actionBreak_triggered();
    void on_actionSaveOutput_triggered();
    void on_actionLog_triggered(bool checked);
    void on_actionTimestamps_triggered(bool checked);
    void on_actionHex_triggered(bool checked);
    void on_actionZoomIn_triggered();
    void on_actionZoomOut_triggered();
    void on_actionZoomReset_triggered();
    void on_actionQuit_triggered();

private:
    void loadSettings();
    void saveSettings();
    void listSerialPorts();
    bool openPort(const QString &name, qint32 rate);
    bool openSerial(const QString &name, qint32 rate);
    enum LineOnClose { RestoreLine, LeaveLine };
    void closeSerial(LineOnClose line = RestoreLine);
    void endWaits();
    void showSessionState();
    void closeLostPort();
    void waitForReturn();
    void reopenReturnedDevice();
    void lendPort();
    void takeBackPort();
    void showReceived(const QByteArray &bytes);
    void showHex(const QByteArray &bytes);
    void holdReads();
    void takeHeldBytes();
    void readEverything();
    void endStampHold();
    bool isLentNow();
    void tellOfPort(const QString &news);
    void chooseFrame();
    void switchModemLine(bool LineSettings::*line, bool on);
    void endBreak();
    template <typename Change> void changeLine(Change change);
    void tellRefused(const QString &name, const QStringList &refused);
    void showLineSettings();
    QString proposedFile(const QString &suffix) const;
    void sendControlByte(char byte);
    void showZoom();
    void endHexLine();
    void echo(const QString &line);
    void notice(const QString &line);
    void startLog();
    void stopLog();
    void logFailed(const QString &reason);
    void showLogState();

    Ui_Tavlino *ui = nullptr;
    QSerialPort *serial = nullptr;
    About *about = nullptr;
    QSettings *settings = nullptr;

    ReceiveDecoder decoder;
    LineStamps stamps;
    HexLines hex;
    SessionLog *log = nullptr;
    QLabel *logLabel = nullptr;
    PacedDisplay *display = nullptr;
    PaneZoom *zoom = nullptr;
    PaneFinder *finder = nullptr;
    FindBar *findBar = nullptr;
    HangUpWatch *hangUpWatch = nullptr;
    // The device behind the open port, and while a lost one is waited for,
    // the watch for its return.
    QString openedName;
    DeviceIdentity openedDevice;
    qint32 openedRate = 0;
    ReturnWatch *returnWatch = nullptr;
    // While the port is open or lent to another program, what hears of that
    // program's opening and closing the device.
    LendWatch *lendWatch = nullptr;
    bool lent = false;
    PortListWatch *portListWatch = nullptr;
    bool takingHeldBytes = false;
    // The frame, flow control and output lines the port has while open,
    // and gets at the next Open.
    LineSettings lines;
    LineMenu *lineMenu = nullptr;
    QLabel *lineLabel = nullptr;
    QTimer *breakTimer = nullptr;
    QTimer *stampHold = nullptr;
    QElapsedTimer lastRead;
    bool changingLine = false;
    Announcer *announcer = nullptr;
    SpokenReply *spokenReply = nullptr;
};

#endif // TAVLINO_H
