#pragma once

#include <QImage>
#include <QString>

// A page file as text recognition reads it: upright as the PDF page shows it, turned by the
// program's own reading of a JPEG's EXIF orientation (the one that turns the page), so that
// the words found lie where the page shows them. A JPEG is read in gray by libjpeg, one of more
// than MaxPagePixels as a copy reduced by half, a quarter or an eighth to fit (its words are
// then found on the smaller picture and laid over the page scaled up); a PNG as Qt reads it.
// Null with the reason when the file cannot be read so (a progressive JPEG too large to
// reduce, for one).
QImage RecognitionImage(const QString &pageFile, QString *reason);

// The picture stored in a file with this EXIF orientation (1 to 8), as it is shown.
QImage ShownUpright(const QImage &stored, int orientation);
