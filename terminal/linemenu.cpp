#include "linemenu.h"

#include <QAction>
#include <QActionGroup>

namespace {

template <typename Value>
Value checkedIn(const QActionGroup *group, const QVector<Value> &choices, Value fallback)
{
    const int index = group->actions().indexOf(group->checkedAction());
    return index >= 0 && index < choices.size() ? choices[index] : fallback;
}

template <typename Value>
void check(QActionGroup *group, const QVector<Value> &choices, Value value)
{
    const int index = choices.indexOf(value);
    if (index >= 0 && index < group->actions().size())
        group->actions().at(index)->setChecked(true);
}

} // namespace

LineMenu::LineMenu(QActionGroup *dataBits, QActionGroup *parity, QActionGroup *stopBits,
                   QActionGroup *flowControl, QAction *dtr, QAction *rts, QObject *parent)
    : QObject(parent), dataBits(dataBits), parity(parity), stopBits(stopBits),
      flowControl(flowControl), dtr(dtr), rts(rts)
{
    if (!systemHasOneAndAHalfStopBits()) {
        QAction *oneAndAHalf =
            stopBits->actions().value(stopBitsChoices().indexOf(QSerialPort::OneAndHalfStop));
        if (oneAndAHalf) {
            oneAndAHalf->setEnabled(false);
            oneAndAHalf->setToolTip(tr("Not available on this system"));
        }
    }
    for (QActionGroup *group : {dataBits, parity, stopBits, flowControl})
        connect(group, &QActionGroup::triggered, this, &LineMenu::frameChosen);
}

LineSettings LineMenu::chosen() const
{
    const LineSettings defaults;
    LineSettings lines;
    lines.dataBits = checkedIn(dataBits, dataBitsChoices(), defaults.dataBits);
    lines.parity = checkedIn(parity, parityChoices(), defaults.parity);
    lines.stopBits = checkedIn(stopBits, stopBitsChoices(), defaults.stopBits);
    lines.flowControl = checkedIn(flowControl, flowControlChoices(), defaults.flowControl);
    lines.dtr = dtr->isChecked();
    lines.rts = rts->isChecked();
    return lines;
}

void LineMenu::show(const LineSettings &lines)
{
    check(dataBits, dataBitsChoices(), lines.dataBits);
    check(parity, parityChoices(), lines.parity);
    check(stopBits, stopBitsChoices(), lines.stopBits);
    check(flowControl, flowControlChoices(), lines.flowControl);
    dtr->setChecked(lines.dtr);
    rts->setChecked(lines.rts);
    // Under RTS/CTS the driver drives RTS; the person's choice waits.
    rts->setEnabled(lines.rtsIsFree());
}
