#include "vbooks.h"

#include "makefolder.h"
#include "filenames.h"
#include "protocoltext.h"
#include "apperror.h"
#include "base64.h"
#include "pagefile.h"
#include "pageimage.h"
#include "pagereport.h"
#include "querypieces.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>
#include <QUrl>

namespace {

// Longest query text looked at for the book's identity.
constexpr qsizetype MaxQueryLength = 1024;

// What follows the URL's "?" (the query and any "#" fragment), percent-escapes decoded.
QString decodedQueryPart(const QString &url)
{
    const qsizetype at = url.indexOf(u'?');
    if (at < 0)
        return {};
    return QUrl::fromPercentEncoding(url.mid(at + 1).toUtf8()).left(MaxQueryLength);
}

// The longest file or folder name most file systems take, in bytes.
constexpr int MaxFileNameBytes = 255;

// Length of the "data:image/png;base64," prefix cut from every data URL.
constexpr qsizetype DataUrlPrefixLength = 22;

} // namespace

QString TvBookobj::BookIdFromUrl(const QString &url)
{
    const QStringList pieces = SplitQueryPieces(decodedQueryPart(url));
    if (pieces.isEmpty())
        throw AppError(QStringLiteral("List index out of bounds (0)"));
    return TextAfterEquals(pieces.first());
}

QString TvBookobj::FolderName(const QString &id)
{
    return TruncateUtf8(SafeFileName(id), MaxFileNameBytes);
}

QString TvBookobj::UnusableIdReason(const QString &url)
{
    if (SplitQueryPieces(decodedQueryPart(url)).isEmpty())
        return QStringLiteral("The address names no book: no download");
    const QString bookId = BookIdFromUrl(url);
    try {
        FolderName(bookId);
    } catch (const AppError &) {
        return QStringLiteral("The book id \"%1\" leaves no usable file name: no download").arg(bookId);
    }
    return {};
}

bool TvBookobj::SameBook(const QString &id, const QString &other)
{
    return QStringView(id).left(id.indexOf(u'#')) == QStringView(other).left(other.indexOf(u'#'));
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
