#include "linesettings.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>

namespace {

// Each choice as the store keeps it and as the frame's short form and a
// sentence name it.
template <typename Value> struct Choice {
    Value value;
    const char *stored;
    const char *shortForm;
    const char *name;
};

const Choice<QSerialPort::DataBits> dataBitsTable[] = {
    {QSerialPort::Data5, "5", "5", QT_TRANSLATE_NOOP("LineSettings", "5 data bits")},
    {QSerialPort::Data6, "6", "6", QT_TRANSLATE_NOOP("LineSettings", "6 data bits")},
    {QSerialPort::Data7, "7", "7", QT_TRANSLATE_NOOP("LineSettings", "7 data bits")},
    {QSerialPort::Data8, "8", "8", QT_TRANSLATE_NOOP("LineSettings", "8 data bits")},
};
const Choice<QSerialPort::Parity> parityTable[] = {
    {QSerialPort::NoParity, "none", "N", QT_TRANSLATE_NOOP("LineSettings", "no parity")},
    {QSerialPort::EvenParity, "even", "E", QT_TRANSLATE_NOOP("LineSettings", "even parity")},
    {QSerialPort::OddParity, "odd", "O", QT_TRANSLATE_NOOP("LineSettings", "odd parity")},
    {QSerialPort::MarkParity, "mark", "M", QT_TRANSLATE_NOOP("LineSettings", "mark parity")},
    {QSerialPort::SpaceParity, "space", "S", QT_TRANSLATE_NOOP("LineSettings", "space parity")},
};
const Choice<QSerialPort::StopBits> stopBitsTable[] = {
    {QSerialPort::OneStop, "1", "1", QT_TRANSLATE_NOOP("LineSettings", "1 stop bit")},
    {QSerialPort::OneAndHalfStop, "1.5", "1.5", QT_TRANSLATE_NOOP("LineSettings", "1.5 stop bits")},
    {QSerialPort::TwoStop, "2", "2", QT_TRANSLATE_NOOP("LineSettings", "2 stop bits")},
};
const Choice<QSerialPort::FlowControl> flowControlTable[] = {
    {QSerialPort::NoFlowControl, "none", "", QT_TRANSLATE_NOOP("LineSettings", "no flow control")},
    {QSerialPort::HardwareControl, "rts/cts", " RTS/CTS",
     QT_TRANSLATE_NOOP("LineSettings", "RTS/CTS flow control")},
    {QSerialPort::SoftwareControl, "xon/xoff", " XON/XOFF",
     QT_TRANSLATE_NOOP("LineSettings", "XON/XOFF flow control")},
};

template <typename Value, size_t N>
const Choice<Value> &choiceOf(const Choice<Value> (&table)[N], Value value)
{
    const auto found = std::find_if(std::begin(table), std::end(table),
                                    [value](const Choice<Value> &c) { return c.value == value; });
    return found != std::end(table) ? *found : table[0];
}

template <typename Value, size_t N> QVector<Value> valuesOf(const Choice<Value> (&table)[N])
{
    QVector<Value> values;
    for (const Choice<Value> &choice : table)
        values << choice.value;
    return values;
}

// A stored choice by its text, whatever the store's type for it (an
// integer for 7 data bits is as good as "7"); anything else is the default.
template <typename Value, size_t N>
Value storedChoice(const QSettings &settings, const char *key, const Choice<Value> (&table)[N],
                   Value missing)
{
    const QString text = settings.value(QLatin1String(key)).toString().trimmed().toLower();
    for (const Choice<Value> &choice : table) {
        if (text == QLatin1String(choice.stored))
            return choice.value;
    }
    return missing;
}

template <typename Value, size_t N> QString nameOf(const Choice<Value> (&table)[N], Value value)
{
    return QCoreApplication::translate("LineSettings", choiceOf(table, value).name);
}

} // namespace

QString LineSettings::frameText() const
{
    return QLatin1String(choiceOf(dataBitsTable, dataBits).shortForm) +
           QLatin1String(choiceOf(parityTable, parity).shortForm) +
           QLatin1String(choiceOf(stopBitsTable, stopBits).shortForm) +
           QLatin1String(choiceOf(flowControlTable, flowControl).shortForm);
}

LineSettings LineSettings::stored(const QSettings &settings)
{
    const LineSettings defaults;
    LineSettings lines;
    lines.dataBits = storedChoice(settings, "dataBits", dataBitsTable, defaults.dataBits);
    lines.parity = storedChoice(settings, "parity", parityTable, defaults.parity);
    lines.stopBits = storedChoice(settings, "stopBits", stopBitsTable, defaults.stopBits);
    if (lines.stopBits == QSerialPort::OneAndHalfStop && !systemHasOneAndAHalfStopBits())
        lines.stopBits = defaults.stopBits;
    lines.flowControl =
        storedChoice(settings, "flowControl", flowControlTable, defaults.flowControl);
    lines.dtr = storedSwitch(settings, QStringLiteral("dtr"), defaults.dtr);
    lines.rts = storedSwitch(settings, QStringLiteral("rts"), defaults.rts);
    return lines;
}

void LineSettings::store(QSettings &settings) const
{
    settings.setValue(QStringLiteral("dataBits"),
                      QLatin1String(choiceOf(dataBitsTable, dataBits).stored));
    settings.setValue(QStringLiteral("parity"),
                      QLatin1String(choiceOf(parityTable, parity).stored));
    settings.setValue(QStringLiteral("stopBits"),
                      QLatin1String(choiceOf(stopBitsTable, stopBits).stored));
    settings.setValue(QStringLiteral("flowControl"),
                      QLatin1String(choiceOf(flowControlTable, flowControl).stored));
    settings.setValue(QStringLiteral("dtr"), dtr);
    settings.setValue(QStringLiteral("rts"), rts);
}

QVector<QSerialPort::DataBits> dataBitsChoices()
{
    return valuesOf(dataBitsTable);
}

QVector<QSerialPort::Parity> parityChoices()
{
    return valuesOf(parityTable);
}

QVector<QSerialPort::StopBits> stopBitsChoices()
{
    return valuesOf(stopBitsTable);
}

QVector<QSerialPort::FlowControl> flowControlChoices()
{
    return valuesOf(flowControlTable);
}

bool systemHasOneAndAHalfStopBits()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

LineSettings frameOf(const QSerialPort &port, const LineSettings &lines)
{
    LineSettings frame = lines;
    frame.dataBits = port.dataBits();
    frame.parity = port.parity();
    frame.stopBits = port.stopBits();
    frame.flowControl = port.flowControl();
    return frame;
}

QStringList changeFrame(QSerialPort &port, const LineSettings &wanted)
{
    // Qt keeps its own idea of each part only when the driver took it, and
    // a part that fails leaves the tty as it was.
    QStringList refused;
    if (port.dataBits() != wanted.dataBits && !port.setDataBits(wanted.dataBits))
        refused << nameOf(dataBitsTable, wanted.dataBits);
    if (port.parity() != wanted.parity && !port.setParity(wanted.parity))
        refused << nameOf(parityTable, wanted.parity);
    if (port.stopBits() != wanted.stopBits && !port.setStopBits(wanted.stopBits))
        refused << nameOf(stopBitsTable, wanted.stopBits);
    if (port.flowControl() != wanted.flowControl && !port.setFlowControl(wanted.flowControl))
        refused << nameOf(flowControlTable, wanted.flowControl);
    return refused;
}

void prepareFrame(QSerialPort &port, const LineSettings &wanted)
{
    // A closed port only remembers these, and sets them all as it opens.
    port.setDataBits(wanted.dataBits);
    port.setParity(wanted.parity);
    port.setStopBits(wanted.stopBits);
    port.setFlowControl(wanted.flowControl);
}

void driveModemLines(QSerialPort &port, const LineSettings &lines)
{
    if (!port.isOpen())
        return;
    port.setDataTerminalReady(lines.dtr);
    if (lines.rtsIsFree())
        port.setRequestToSend(lines.rts);
}

bool storedSwitch(const QSettings &settings, const QString &key, bool missing)
{
    const QVariant value = settings.value(key);
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return missing;
}
