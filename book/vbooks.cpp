#include "vbooks.h"

#include "makefolder.h"
#include "protocoltext.h"
#include "apperror.h"
#include "bookidentity.h"
#include "base64.h"
#include "pagefile.h"
#include "pageimage.h"
#include "pagereport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

namespace {

// Length of the "data:image/png;base64," prefix cut from every data URL.
constexpr qsizetype DataUrlPrefixLength = 22;

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

namespace {

// The bytes of a data URL's image. The cut is by position: a JPEG data URL
// ("data:image/jpeg;base64,") leaves its comma, which the decoder skips.
QByteArray dataUrlBytes(const QString &dataUrl)
{
    return DecodeBase64Tolerant(QStringView(dataUrl).mid(qMin(DataUrlPrefixLength, dataUrl.size())));
}

} // namespace

bool TvBookobj::SvePDFPage(const QString &report, QString *refusal)
{
    QString image;
    QString pageText;
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(report.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            throw AppError(QStringLiteral("Page report is not valid JSON: %1 at offset %2")
                               .arg(error.errorString())
                               .arg(error.offset));
        if (!document.isObject())
            throw AppError(QStringLiteral("Page report is not a JSON object"));
        const QJsonObject object = document.object();
        pageText = ReportMemberText(object.value(QLatin1String("currpage")));
        image = ReportMemberText(object.value(QLatin1String("img")));
    } // the parsed report is released before the image is decoded
    const QByteArray bytes = dataUrlBytes(image);
    image.clear();
    const PageImageInfo info = InspectPageImage(bytes);
    if (!info.usable()) {
        if (refusal)
            *refusal = info.reason;
        return false;
    }
    imgpageno = pageText;
    if (!TryStrToInt(imgpageno, &curpage))
        curpage = 0;
    writePageFile(bytes);
    return true;
}

bool TvBookobj::Saveblobimg(const QString &dataUrl, const QString &)
{
    const QByteArray bytes = dataUrlBytes(dataUrl);
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
    // Written beside and renamed into place: a failed write never leaves a broken page.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
}
