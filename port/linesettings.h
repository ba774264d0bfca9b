#ifndef LINESETTINGS_H
#define LINESETTINGS_H

#include <QSerialPort>
#include <QString>
#include <QStringList>

class QSettings;

// How the line is framed and driven: what a device's manual gives as
// "115200 7E1, no flow control", and the two output lines a board's reset
// and boot circuits listen to.
struct LineSettings {
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    bool dtr = true;
    bool rts = true;

    // The way a manual writes the frame: 8N1, 7E1, 5N1.5, with the flow
    // control after it when there is one ("8N1 RTS/CTS").
    QString frameText() const;
    bool sameFrameAs(const LineSettings &other) const
    {
        return dataBits == other.dataBits && parity == other.parity && stopBits == other.stopBits &&
               flowControl == other.flowControl;
    }
    // With RTS/CTS the driver drives RTS itself.
    bool rtsIsFree() const { return flowControl != QSerialPort::HardwareControl; }

    static LineSettings stored(const QSettings &settings);
    void store(QSettings &settings) const;
};

// The choices a menu offers, in its order.
QVector<QSerialPort::DataBits> dataBitsChoices();
QVector<QSerialPort::Parity> parityChoices();
QVector<QSerialPort::StopBits> stopBitsChoices();
QVector<QSerialPort::FlowControl> flowControlChoices();
// Termios has no 1.5 stop bits: Qt would quietly set one.
bool systemHasOneAndAHalfStopBits();

// The frame and flow control as Qt holds them for the port: after a refused
// change, what the port still has.
LineSettings frameOf(const QSerialPort &port, const LineSettings &lines);
// Asks the port for each part of the frame that differs from what it has;
// the names of those the driver refused, which stay as they were ("7 data
// bits", "mark parity").
QStringList changeFrame(QSerialPort &port, const LineSettings &wanted);
// Hands the frame to a closed port, to be set as it opens.
void prepareFrame(QSerialPort &port, const LineSettings &wanted);
// Raises or lowers DTR, then RTS: Windows' usbser.sys refuses RTS before
// DTR. RTS is left to the driver under RTS/CTS.
void driveModemLines(QSerialPort &port, const LineSettings &lines);

// A true or false the store may hold as a boolean, as text or as a number;
// anything else is `missing`.
bool storedSwitch(const QSettings &settings, const QString &key, bool missing);

#endif // LINESETTINGS_H
