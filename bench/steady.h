#ifndef STEADY_H
#define STEADY_H

#include <QByteArray>

// A device that talks steadily all day, as a logging board does: 64-byte
// writes, as a USB-serial adapter delivers them, at a line rate's pace.

// One measurement, in this process: prints what the table reads.
int runSteadyCase(int bytesPerSecond, int seconds, int width, int height, int quietSeconds,
                  const QByteArray &workload);
// The table: both rates, the large and the default window, `runs` each.
int runSteadyTable(int seconds, int runs);

#endif // STEADY_H
