#include "spaceneed.h"

#include "apperror.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace {
QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg((bytes + 500'000) / 1'000'000);
}
} // namespace

QString NotEnoughSpaceText(const QString &folder, qint64 freeBytes, qint64 neededBytes)
{
    return QStringLiteral("Not enough space in %1: %2 free, this book needs about %3")
        .arg(folder, megabytes(freeBytes), megabytes(neededBytes));
}

std::optional<QString> SpaceNeed::Shortage() const
{
    const qint64 perPage = storedPages > 0 ? storedBytes / storedPages : FirstPageBytesGuess;
    const qint64 pages = qint64(qMax(0, pagesLeft)) * perPage;
    const qint64 pdf = qint64(qMax(0, pagesInPdf)) * perPage;
    const Disk pageDisk = diskOf(pageFolder);
    const Disk pdfDisk = diskOf(pdfFolder);
    if (pageDisk.device == pdfDisk.device) {
        if (pageDisk.freeBytes < pages + pdf)
            return NotEnoughSpaceText(pageFolder, pageDisk.freeBytes, pages + pdf);
        return std::nullopt;
    }
    if (pageDisk.freeBytes < pages)
        return NotEnoughSpaceText(pageFolder, pageDisk.freeBytes, pages);
    if (pdfDisk.freeBytes < pdf)
        return NotEnoughSpaceText(pdfFolder, pdfDisk.freeBytes, pdf);
    return std::nullopt;
}

void CheckRoomForRun(const QString &pageFolder, const QString &pdfFolder, int pagesLeft, int pagesInPdf)
{
    SpaceNeed need;
    need.pageFolder = pageFolder;
    need.pdfFolder = pdfFolder;
    need.pagesLeft = pagesLeft;
    need.pagesInPdf = pagesInPdf;
    for (const QFileInfo &page : QDir(pageFolder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files)) {
        need.storedBytes += page.size();
        ++need.storedPages;
    }
    need.diskOf = [](const QString &folder) {
        const QStorageInfo disk(folder);
        return SpaceNeed::Disk{QString::fromLocal8Bit(disk.device()), disk.bytesAvailable()};
    };
    if (const std::optional<QString> shortage = need.Shortage())
        throw WriteError(*shortage);
}
