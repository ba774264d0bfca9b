#ifndef REOPEN_H
#define REOPEN_H

// A board that resets: the window waits for a lost device to come back and
// reopens it. Measures what the wait costs and how soon the device is open
// again once its name is back, and prints whether the targets hold.
int runReopen(int waitSeconds, int returns);

#endif // REOPEN_H
