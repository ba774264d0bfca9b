#ifndef COPY_H
#define COPY_H

// Select all and copy of a long session, as a person does with Ctrl+A and
// Ctrl+C in the pane, against Qt's own copy of the same selection. Prints
// the times and whether the target holds.
int runCopy(int mebibytes);

#endif // COPY_H
