#ifndef REOPEN_H
#define REOPEN_H

// A board that resets: the window waits for a lost device to come back and
// reopens it. Measures what the wait costs and how soon the device is open
// again once its name is back, and prints whether the targets hold.
int runReopen(int waitSeconds, int returns);
// A flasher: another program opens the device the window has open, and
// closes it again. Measures how soon the window lets go and how soon it has
// the port open again, and prints whether the target holds.
int runLend(int lends);

#endif // REOPEN_H
