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

void prepareHeap()
{
#ifdef __GLIBC__
    // The pane's text is one buffer that doubles as a session grows. In the
    // heap each doubling copies it whole (45 ms at 33 million characters,
    // with nothing read from the port meanwhile); a mapped buffer grows with
    // mremap and copies nothing. glibc maps large blocks, but raises the
    // size it maps from to up to 32 MiB whenever a mapped block is freed, as
    // Clear does, after which the next session's text grows in the heap
    // again. Fixing the size keeps it where it is.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}
