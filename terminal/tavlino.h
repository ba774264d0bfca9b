#ifndef TAVLINO_H
#define TAVLINO_H

#include "receivedecoder.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

class About;
class QCloseEvent;
class QSettings;
class Ui_Tavlino;

class Tavlino : public QMainWindow
{
    Q_OBJECT

public:
    // A line that never ends would make the pane lay out one ever-growing
    // paragraph again with every update, so a received line that reaches
    // this length is continued on a new line. The pane wraps it anyway.
    static constexpr int longestReceivedLine = 4096;

    explicit Tavlino(QWidget *parent = nullptr);
    ~Tavlino() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_btn_send_clicked();
    void on_btn_Open_clicked();
    void input_return_Pressed();
    void input_key_Pressed(const QString &text);
    void dataReadyToRead();
    void on_btn_clear_clicked();
    void on_actionAbout_triggered();
    void on_input_continu_stateChanged(int arg1);
    void serial_error_Occurred(QSerialPort::SerialPortError error);

private:
    void loadSettings();
    void saveSettings();
    void listSerialPorts();
    void scheduleShowReceived();
    void showReceived();
    void showAllReceived();
    bool hasUnshownText() const;
    void showNextPiece();
    void closeLostPort();

    Ui_Tavlino *ui;
    QSerialPort *serial;
    About *about;
    QSettings *settings;

    ReceiveDecoder decoder;
    // Text read from the port; what lies before shownUpTo is in the pane
    // already. See showReceived().
    QString received;
    int shownUpTo = 0;
    bool showScheduled = false;
    QElapsedTimer lastShown;
};

#endif // TAVLINO_H
