#ifndef APPLICATION_H
#define APPLICATION_H

// Tells Qt what the program is: its version, and the id of its desktop
// entry, by which a Wayland dock or task switcher finds the name and icon
// for the window. Call once the application object exists.
void describeApplication();

#endif // APPLICATION_H
