#pragma once

#include <QString>
#include <functional>
#include <optional>

// Whether a run's pages and its PDF fit where they go, told before the run starts: the pages
// left times the size of the pages stored so far (2 MB a page when none is), and a PDF about
// as large as all its pages. Where the pages and the PDF share a disk, they share its room.
struct SpaceNeed
{
    QString pageFolder;
    QString pdfFolder;
    int pagesLeft = 0;       // pages the run is to capture
    int pagesInPdf = 0;      // pages the PDF will hold
    qint64 storedBytes = 0;  // the book's page files stored so far,
    int storedPages = 0;     // and how many they are

    // The room on a folder's disk (free bytes), and which disk it is.
    struct Disk
    {
        QString device;
        qint64 freeBytes = 0;
    };
    std::function<Disk(const QString &folder)> diskOf;

    // The folder that cannot take what goes there and the line that says so; none when all fits.
    std::optional<QString> Shortage() const;
};

// The bytes a page is taken to have before any is stored.
inline constexpr qint64 FirstPageBytesGuess = 2'000'000;

// "Not enough space in <folder>: 120 MB free, this book needs about 800 MB".
QString NotEnoughSpaceText(const QString &folder, qint64 freeBytes, qint64 neededBytes);

// Throws WriteError with the shortage's line when a run of pagesLeft pages more, into a PDF of
// pagesInPdf pages, would not fit: the book's stored pages (*.jpg in pageFolder) give the size
// of a page, the disks their room.
void CheckRoomForRun(const QString &pageFolder, const QString &pdfFolder, int pagesLeft, int pagesInPdf);
