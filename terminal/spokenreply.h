#ifndef SPOKENREPLY_H
#define SPOKENREPLY_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class Announcer;

// What the device answers to a line the person sent, said by their screen
// reader while the focus stays in the input line. The lines that arrive in
// the few seconds after a send are gathered until the device pauses and
// said together: at most twenty of them, then how many more there were, so
// a device that streams is never read out line by line. Typing again ends
// the wait, as speech would talk over the person's own keys.
class SpokenReply : public QObject
{
public:
    SpokenReply(Announcer *announcer, QObject *parent);

    void expectReply();
    void received(QStringView text);
    void personTyped();

    // A reply is what starts this long after the send.
    static constexpr int window = 5000;
    // The device is done, or pauses, once it is quiet for this long.
    static constexpr int pause = 300;
    static constexpr int mostLines = 20;

private:
    void addLine(QString line);
    void sayGathered();
    void stopListening();

    Announcer *announcer = nullptr;
    QTimer quiet;
    QElapsedTimer sinceSent;
    bool listening = false;
    QStringList lines;
    // The line still arriving, and as much of it as was already said.
    QString partial;
    QString partialSaid;
    int linesSaid = 0;
    int linesLeft = 0;
};

#endif // SPOKENREPLY_H
