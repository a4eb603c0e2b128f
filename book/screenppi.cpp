// ScreenPixelsPerInch (pdfassembly.h) in a file of its own: the one part of the build that
// needs the GUI library, so that tools building PDFs without a screen do not load it.
#include "pdfassembly.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

int ScreenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInch())) : 96;
}
