#include "MyUtils.h"

#include "apperror.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QIODevice>
#include <QLabel>
#include <QPixmap>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

QString matchEntry(const QString &folder, const QString &name, QDir::Filters filters)
{
    const QStringList entries = QDir(folder).entryList(filters);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

bool isRemovedFromFileName(QChar c)
{
    switch (c.unicode()) {
    case 0: // would cut a path short at the system boundary
    case 9: case 10: case 13: case ' ':
    case '"': case '*': case '/': case ':': case '<': case '=': case '>': case '?': case '\\': case '|':
        return true;
    default:
        return false;
    }
}

bool onlyDots(const QString &s)
{
    for (QChar c : s) {
        if (c != u'.')
            return false;
    }
    return true;
}

} // namespace

QString MakeUserFolder(const QString &name)
{
    // The documents folder may not exist yet on a new account; without it nothing below
    // could be created, so it is made first.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    QString path = documents + QLatin1String("/Brindlewick");
    EnsureFolder(path);
    path += QLatin1Char('/') + name + QLatin1Char('/');
    EnsureFolder(path);
    return path;
}

void EnsureFolder(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        QDir().mkdir(dir.absolutePath());
}

void MakeFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(QDir(path).absolutePath());
    if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST)
        throw AppError(QStringLiteral("Cannot create folder \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (!QFileInfo(path).isDir())
        throw AppError(QStringLiteral("Cannot create folder \"%1\". A file of that name is in the way").arg(path));
}

QString TruncateUtf8(const QString &text, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t c = text[i].unicode();
        int units = 1, size = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            units = 2;
            size = 4;
        } else if (c >= 0x800) {
            size = 3;
        } else if (c >= 0x80) {
            size = 2;
        }
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

QString FindResourcePath(const QString &name, const QString &type)
{
    const QString typeDir = matchEntry(QStringLiteral(":/"), type, QDir::Dirs | QDir::NoDotAndDotDot);
    if (typeDir.isEmpty())
        return {};
    const QString folder = QStringLiteral(":/") + typeDir;
    const QString entry = matchEntry(folder, name, QDir::Files);
    return entry.isEmpty() ? QString() : folder + QLatin1Char('/') + entry;
}

void LoadPngResource(const QString &name, QLabel *image)
{
    const QString path = FindResourcePath(name, QStringLiteral("RCDATA"));
    QPixmap pixmap;
    if (path.isEmpty() || !pixmap.load(path, "PNG"))
        throw AppError(QStringLiteral("Resource %1 not found").arg(name));
    image->setPixmap(pixmap);
}

QString ResourceText(const QString &name, const QString &type)
{
    const QString path = FindResourcePath(name, type);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Resource %1 not found").arg(name));
    return StreamToText(&file);
}

QString StreamToText(QIODevice *stream)
{
    if (!stream)
        return {};
    if (!stream->isSequential())
        stream->seek(0);
    return QString::fromLocal8Bit(stream->readAll());
}

QString SafeFileName(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (!isRemovedFromFileName(c))
            result.append(c);
    }
    qsizetype begin = 0;
    qsizetype end = result.size();
    while (begin < end && result[begin].unicode() <= 32)
        ++begin;
    while (end > begin && result[end - 1].unicode() <= 32)
        --end;
    result = result.mid(begin, end - begin);
    // "." and ".." would name the folder itself or its parent, not a folder of the book.
    if (result.isEmpty() || onlyDots(result))
        throw AppError(QStringLiteral("Resulting FileName was empty Input string was: ") + text);
    return result;
}

int IntAfterEquals(const QString &text)
{
    QStringList pieces;
    QString piece;
    for (QChar c : text) {
        if (c == u'=' || c == u'\n' || c == u'\r') {
            if (!piece.isEmpty())
                pieces.append(piece);
            piece.clear();
        } else {
            piece.append(c);
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    if (pieces.size() != 2)
        return 0;
    int value = 0;
    if (!TryStrToInt(pieces[1], &value))
        throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(pieces[1]));
    return value;
}

// Decimal conversion of a 32-bit signed integer: leading blanks and a sign are allowed,
// nothing may follow the digits.
bool TryStrToInt(const QString &text, int *value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        if (v > (qint64(1) << 31))
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = int(v);
    return true;
}

QString TextAfterEquals(const QString &text)
{
    const qsizetype at = text.indexOf(u'=');
    return at < 0 ? QString() : text.mid(at + 1);
}
