#ifndef APPLICATION_H
#define APPLICATION_H

// Tells Qt what the program is: its version, and the id of its desktop
// entry, by which a Wayland dock or task switcher finds the name and icon
// for the window. Call once the application object exists.
void describeApplication();

// Keeps every large buffer in memory of its own, mapped apart from the heap,
// so that the pane's text grows without being copied. Call first in main.
void prepareHeap();

#endif // APPLICATION_H
