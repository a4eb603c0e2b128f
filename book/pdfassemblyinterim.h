#pragma once

// The build as the window calls it until its side runs AssemblePdf on a worker thread: on the
// GUI thread, the progress shown as "pdf page %d" in place of the log's last line with pending
// events run between pages. Goes away with that change, together with this file.

#include <QString>

// Returns the missing pages (" 3 7"); throws like AssemblePdf. A build that finds no usable
// page throws too, as the window has no other way to learn that nothing was written.
QString AssemblePdf(const QString &pageFolder, int totalPages, const QString &outputPath, int ppi);

// The progress line of the build running now ("pdf page %d"), empty when none runs.
QString PdfProgressLine();
