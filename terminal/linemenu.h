#ifndef LINEMENU_H
#define LINEMENU_H

#include "linesettings.h"

#include <QObject>

class QAction;
class QActionGroup;

// The Port menu's choices of frame, flow control and output lines: shows a
// LineSettings by its check marks and reads the person's choice back.
class LineMenu : public QObject
{
    Q_OBJECT

public:
    // Each group's actions in the order of its choices (dataBitsChoices()
    // and the rest).
    LineMenu(QActionGroup *dataBits, QActionGroup *parity, QActionGroup *stopBits,
             QActionGroup *flowControl, QAction *dtr, QAction *rts, QObject *parent = nullptr);

    LineSettings chosen() const;
    void show(const LineSettings &lines);

Q_SIGNALS:
    // The person picked a frame or a flow control.
    void frameChosen();

private:
    QActionGroup *dataBits;
    QActionGroup *parity;
    QActionGroup *stopBits;
    QActionGroup *flowControl;
    QAction *dtr;
    QAction *rts;
};

#endif // LINEMENU_H
