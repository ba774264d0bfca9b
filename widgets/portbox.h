#ifndef PORTBOX_H
#define PORTBOX_H

#include <QComboBox>
#include <QPair>
#include <QString>
#include <QVector>

// The Com box: its list says what each port is ("ttyUSB0 — CP2102N USB to
// UART Bridge Controller (10c4:ea60)"), while the box itself holds, and
// Open uses, the port's name alone, as typed names are. The list is read
// again each time the person opens it.
class PortBox : public QComboBox
{
    Q_OBJECT

public:
    // A port's name and what the list shows for it.
    using Port = QPair<QString, QString>;

    explicit PortBox(QWidget *parent = nullptr);

    // Replaces the list, keeping what is in the box, typed or chosen, and
    // the place of the caret in it.
    void setPorts(const QVector<Port> &ports);
    void showPopup() override;

Q_SIGNALS:
    void popupAboutToShow();
};

#endif // PORTBOX_H
