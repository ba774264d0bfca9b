#ifndef ANNOUNCER_H
#define ANNOUNCER_H

#include <QObject>
#include <QString>

class QWidget;

// Has the person's screen reader say a text without moving the focus.
// Qt 6.8 and later send an AT-SPI announcement (Orca 45.2 and later speak
// it). Before 6.8 Qt has no such event, and Orca 43 speaks nothing that
// changes outside the focus but a notification being shown: a widget of no
// size with that role is shown again for each text.
class Announcer : public QObject
{
    Q_OBJECT

public:
    // Said texts come from the window; the announcer lives as long as parent.
    Announcer(QWidget *window, QObject *parent);

    void say(const QString &text);

Q_SIGNALS:
    // Handed to the screen reader, if one listens.
    void said(const QString &text);

private:
    QWidget *window = nullptr;
    QWidget *notice = nullptr;
};

#endif // ANNOUNCER_H
