#ifndef APPLICATION_H
#define APPLICATION_H

// Tells Qt what the program is: its version, and the id of its desktop
// entry, by which a Wayland dock or task switcher finds the name and icon
// for the window. Call once the application object exists.
void describeApplication();

// Sets up the C library's allocator for a session that grows without end.
// Call first thing in main.
void keepLargeBuffersMapped();

#endif // APPLICATION_H
