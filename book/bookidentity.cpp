#include "bookidentity.h"

#include "apperror.h"
#include "filenames.h"
#include "protocoltext.h"
#include "querypieces.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

// Longest query text looked at for the book's identity.
constexpr qsizetype MaxQueryLength = 1024;
// The longest file or folder name most file systems take, in bytes.
constexpr int MaxFileNameBytes = 255;
// Longest file name of a book's PDF, before ".pdf", in characters.
constexpr qsizetype MaxPdfNameLength = 100;
// And in bytes: a name takes 255 bytes, less ".pdf" and the ".part<pid>" suffix of the file
// a build writes before it is renamed into place.
constexpr int MaxPdfNameBytes = MaxFileNameBytes - 4 - 16;

// What follows the URL's "?" (the query and any "#" fragment), percent-escapes decoded.
QString decodedQueryPart(const QString &url)
{
    const qsizetype at = url.indexOf(u'?');
    if (at < 0)
        return {};
    return QUrl::fromPercentEncoding(url.mid(at + 1).toUtf8()).left(MaxQueryLength);
}

} // namespace

bool IsBookViewerUrl(const QString &url)
{
    return url.contains(QLatin1String("/cgi/pt?id="));
}

QString BookIdFromUrl(const QString &url)
{
    const QStringList pieces = SplitQueryPieces(decodedQueryPart(url));
    if (pieces.isEmpty())
        throw AppError(QStringLiteral("List index out of bounds (0)"));
    return TextAfterEquals(pieces.first());
}

bool SameBook(const QString &id, const QString &other)
{
    return QStringView(id).left(id.indexOf(u'#')) == QStringView(other).left(other.indexOf(u'#'));
}

QString BookFolderName(const QString &id)
{
    return TruncateUtf8(SafeFileName(id), MaxFileNameBytes);
}

QString BookPdfName(const QString &id)
{
    QString name = SafeFileName(id);
    if (name.size() > MaxPdfNameLength)
        name.truncate(MaxPdfNameLength);
    return TruncateUtf8(name, MaxPdfNameBytes);
}

QString UnusableBookIdReason(const QString &url)
{
    if (SplitQueryPieces(decodedQueryPart(url)).isEmpty())
        return QStringLiteral("The address names no book: no download");
    const QString bookId = BookIdFromUrl(url);
    try {
        BookFolderName(bookId);
    } catch (const AppError &) {
        return QStringLiteral("The book id \"%1\" leaves no usable file name: no download").arg(bookId);
    }
    return {};
}

namespace {
const QString PageKey = QStringLiteral("seq");
}

int BookPageFromUrl(const QString &url)
{
    const QUrlQuery query(QUrl(url).query());
    bool ok = false;
    const int page = query.queryItemValue(PageKey).toInt(&ok);
    return ok && page > 0 ? page : 0;
}

QString BookPageUrl(const QString &url, int page)
{
    QUrl address(url);
    QUrlQuery query(address.query(QUrl::FullyEncoded));
    if (query.hasQueryItem(PageKey))
        query.removeAllQueryItems(PageKey);
    query.addQueryItem(PageKey, QString::number(page));
    address.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return address.toString(QUrl::FullyEncoded);
}
