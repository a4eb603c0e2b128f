#include "vbooks.h"

#include "makefolder.h"
#include "protocoltext.h"
#include "apperror.h"
#include "bookidentity.h"
#include "pagefile.h"
#include "pageimage.h"
#include "pagereport.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace {
// What the system said of the last failed call, else what the file says.
QString systemReason(const QFileDevice &file)
{
    return errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
}
} // namespace

QString TvBookobj::BookIdFromUrl(const QString &url)
{
    return ::BookIdFromUrl(url);
}

QString TvBookobj::FolderName(const QString &id)
{
    return BookFolderName(id);
}

QString TvBookobj::UnusableIdReason(const QString &url)
{
    return UnusableBookIdReason(url);
}

bool TvBookobj::SameBook(const QString &id, const QString &other)
{
    return ::SameBook(id, other);
}

void TvBookobj::getID(const QString &url)
{
    QString newId = BookIdFromUrl(url);
    dirid = FolderName(newId);
    id = std::move(newId);
}

void TvBookobj::setWorking(bool on)
{
    if (on)
        MakeFolder(PageFolder());
}

QString TvBookobj::PageFolder() const
{
    return PageFolderPath(dirid);
}

bool TvBookobj::SvePDFPage(const QString &text, QString *refusal)
{
    const PageReport report = ReadPageReport(text);
    PageImageInfo info;
    if (const QString fault = PageReportFault(report, info); !fault.isEmpty()) {
        if (refusal)
            *refusal = fault;
        return false;
    }
    StorePage(report.currpage, report.bytes);
    return true;
}

bool TvBookobj::Saveblobimg(const QString &dataUrl, const QString &)
{
    const QByteArray bytes = DataUrlBytes(dataUrl);
    if (!InspectPageImage(bytes).usable())
        return false;
    writePageFile(bytes);
    return true;
}

void TvBookobj::StorePage(const QString &pageno, const QByteArray &bytes)
{
    imgpageno = pageno;
    if (!TryStrToInt(imgpageno, &curpage))
        curpage = 0;
    writePageFile(bytes);
}

void TvBookobj::writePageFile(const QByteArray &bytes) const
{
    const QString path = PageFilePath(dirid, curpage);
    // Written beside and renamed into place: a failed write never leaves a broken page. Written
    // unbuffered, so the system's reason for a failed write ("No space left on device") is the
    // one told.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw WriteError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemReason(file)));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw WriteError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, systemReason(file)));
}
