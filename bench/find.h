#ifndef FIND_H
#define FIND_H

// Finding in a long session as a person does: Ctrl+F, then the text typed a
// key at a time at a typist's pace, for a line that is there once and for
// text in nearly every line. Prints how long each keystroke kept the window
// busy, how soon after the last the count was complete, how late the
// window's timers ever ran meanwhile, how long F3 took, and whether the
// targets hold.
int runFind(int mebibytes);
// Scrolling through a long session a page at a time, to its start and end,
// and resizing the window, at the pane's normal text size and its largest.
int runZoom(int mebibytes);

#endif // FIND_H
