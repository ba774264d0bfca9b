#ifndef WORKLOADS_H
#define WORKLOADS_H

#include <QByteArray>
#include <QString>

// What the benchmark's device sends, and what the pane must then show.
struct Workload {
    const char *name;
    const char *label;
    char lineEnd;  // 0: no line breaks at all
    int pieceSize; // bytes per write of the device
    bool hex;      // a binary dump as hex digits: no spaces, no line breaks
    // Receives half as much first and is cleared before the measured part,
    // so the measured part grows on a heap that once held a large document.
    bool clearedFirst;
    // ESP-IDF-style log lines, and whether each is coloured by its level and
    // reset at its end, as ESP-IDF before 5.4 prints them.
    enum Log { NoLog, PlainLog, ColouredLog } log;
};

extern const Workload workloads[8];

const Workload *findWorkload(const QByteArray &name);

// Printable text that changes from line to line, so that a lost, doubled or
// reordered piece shows up in the comparison.
QByteArray makeData(const Workload &workload, qint64 bytes);

// What the pane shows for the decoded text: lines longer than the window's
// limit continue on a new line.
QString asShown(const QString &decoded);

#endif // WORKLOADS_H
