#include "spokenreply.h"

#include "announcer.h"

SpokenReply::SpokenReply(Announcer *announcer, QObject *parent)
    : QObject(parent), announcer(announcer)
{
    quiet.setSingleShot(true);
    quiet.setInterval(pause);
    connect(&quiet, &QTimer::timeout, this, &SpokenReply::sayGathered);
}

// Gathered whether or not a screen reader listens (Qt drops what nobody
// hears): a few lines split once per send.
void SpokenReply::expectReply()
{
    stopListening();
    listening = true;
    sinceSent.start();
}

void SpokenReply::received(QStringView text)
{
    if (!listening)
        return;
    // What starts this late is no longer the reply: saying what was
    // gathered ends the wait.
    if (sinceSent.elapsed() > window) {
        sayGathered();
        return;
    }
    qsizetype start = 0;
    for (qsizetype end = text.indexOf(u'\n'); end >= 0; end = text.indexOf(u'\n', start)) {
        addLine(partial + text.mid(start, end - start).toString());
        partial.clear();
        start = end + 1;
    }
    partial += text.mid(start).toString();
    quiet.start();
}

void SpokenReply::addLine(QString line)
{
    // What was said of it while it arrived is not said again.
    if (!partialSaid.isEmpty() && line.startsWith(partialSaid))
        line.remove(0, partialSaid.size());
    partialSaid.clear();
    line.remove(u'\r');
    if (line.trimmed().isEmpty())
        return;
    if (linesSaid + lines.size() < mostLines)
        lines.append(line);
    else
        ++linesLeft;
}

// A prompt or a line without its end yet is said too: a device waiting for
// input says so by what it prints last.
void SpokenReply::sayGathered()
{
    QStringList parts = lines;
    linesSaid += lines.size();
    lines.clear();
    const QString unsaid = partial.mid(partialSaid.size());
    if (!unsaid.trimmed().isEmpty() && linesSaid < mostLines) {
        parts.append(unsaid);
        partialSaid = partial;
    }
    if (linesLeft > 0) {
        parts.append(linesLeft == 1 ? QStringLiteral("1 more line")
                                    : QStringLiteral("%1 more lines").arg(linesLeft));
        linesLeft = 0;
    }
    if (!parts.isEmpty())
        announcer->say(parts.join(u'\n'));
    if (sinceSent.elapsed() > window)
        stopListening();
}

void SpokenReply::personTyped()
{
    stopListening();
}

void SpokenReply::stopListening()
{
    listening = false;
    quiet.stop();
    lines.clear();
    partial.clear();
    partialSaid.clear();
    linesSaid = 0;
    linesLeft = 0;
}
