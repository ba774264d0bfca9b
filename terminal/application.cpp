#include "application.h"

#include <QGuiApplication>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void describeApplication()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVLINO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVLINO_APP_ID));
}

// The output pane's document keeps its text and its paragraph tables in
// arrays that double as the session grows. glibc serves blocks below its
// mmap threshold from the heap, where growing one means copying it into
// memory that must first be faulted in, and it raises that threshold to
// 32 MiB as mapped blocks are freed; copying tables of a few MiB that way
// stalled the window for tens of milliseconds. Mapped blocks grow by
// remapping, which copies nothing. The trim threshold keeps the heap's top
// from being handed back and faulted in again with every piece of text.
void keepLargeBuffersMapped()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}
