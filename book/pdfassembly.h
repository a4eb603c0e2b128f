#pragma once

#include <QString>

// Writes one PDF of the page files <pageFolder>/<n>.jpg for n = 1..totalPages through the
// PDF engine library: one page per readable file, each page its image's size at ppi pixels
// per inch. Reports progress as "pdf page %d" in place of the log's last line, letting
// pending events run between pages. Returns the missing pages as " 3 7" (each number after a
// blank; empty when none is missing). Throws on any failure; the file at outputPath is then
// left as it was.
QString AssemblePdf(const QString &pageFolder, int totalPages, const QString &outputPath, int ppi);

// Pixels per inch of the screen, as page sizes are reckoned.
int ScreenPixelsPerInch();

// The progress line of the build running now ("pdf page %d"), empty when none runs.
QString PdfProgressLine();
