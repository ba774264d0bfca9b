#ifndef COPY_H
#define COPY_H

// Select all and copy of a long session, as a person does with Ctrl+A and
// Ctrl+C in the pane, against Qt's own copy of the same selection. Prints
// the times and whether the target holds.
int runCopy(int mebibytes);
// Save Output As of a long session, the time from the dialog's Save button
// until the window answers again, and whether the file holds what a copy
// gives.
int runSave(int mebibytes);

#endif // COPY_H
