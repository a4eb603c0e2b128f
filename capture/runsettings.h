#pragma once

#include "pacing.h"
#include "pagerange.h"
#include "sitewaitpolicy.h"

#include <QString>

// How a download run goes, as the window or the command line sets it: read at each start (and
// by Rebuild, for the text layer and the output folder).
struct RunSettings
{
    PageRange range;                   // the pages of the book; empty: from the page on display to the end
    QString ocrLanguage;               // the text recognised and laid over the pages ("eng", "deu+eng"); empty: none
    QString outputFolder;              // where PDFs are written (ends with "/"); empty: the data folder
    SitePatience patience = SitePatience::Default();
    int tickMs = Pacing::TickIntervalMs;
    int pageWaitTicks = Pacing::PageWaitTicks;
    int captureTimeoutMs = Pacing::CaptureTimeoutMs;
};
