#include "ocrstore.h"

#include "apperror.h"
#include "ocrrecognizer.h"
#include "pagebitmap.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <climits>
#include <cmath>

namespace {

constexpr int FormatVersion = 1;
constexpr qint64 HashedEnd = 64 * 1024;

// What a result was made from. Size and time catch nearly every change; the hash catches
// a page replaced within the file system's time resolution by one of the same size.
struct SourceStamp
{
    qint64 size = -1;
    qint64 modifiedMs = 0;
    QString hash;

    bool operator==(const SourceStamp &) const = default;
};

std::optional<SourceStamp> StampOf(const QString &pageFile)
{
    QFile file(pageFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    SourceStamp stamp;
    stamp.size = file.size();
    stamp.modifiedMs = QFileInfo(file).lastModified().toMSecsSinceEpoch();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(file.read(HashedEnd));
    if (stamp.size > HashedEnd) {
        file.seek(std::max(HashedEnd, stamp.size - HashedEnd));
        hash.addData(file.read(HashedEnd));
    }
    stamp.hash = QString::fromLatin1(hash.result().toHex());
    return stamp;
}

QJsonObject ToJson(const OcrPage &page, const SourceStamp &stamp)
{
    QJsonArray words;
    for (const OcrWord &word : page.words)
        words.append(QJsonArray{word.box.x(), word.box.y(), word.box.width(), word.box.height(),
                                double(word.confidence), word.text});
    return QJsonObject{
        {QStringLiteral("format"), FormatVersion},
        {QStringLiteral("language"), page.language},
        {QStringLiteral("source"), QJsonObject{{QStringLiteral("size"), stamp.size},
                                               {QStringLiteral("modified"), stamp.modifiedMs},
                                               {QStringLiteral("hash"), stamp.hash}}},
        {QStringLiteral("image"), QJsonArray{page.imageSize.width(), page.imageSize.height()}},
        {QStringLiteral("words"), words},
    };
}

// A JSON number that is a whole int, else nothing.
std::optional<int> WholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= INT_MIN && number <= INT_MAX) || number != std::floor(number))
        return std::nullopt;
    return int(number);
}

// A stored word, when its box lies within the image (as the recogniser's boxes do) and its
// confidence is one the recogniser gives.
std::optional<OcrWord> WordOf(const QJsonValue &value, QSize image)
{
    const QJsonArray word = value.toArray();
    if (word.size() != 6 || !word.at(5).isString() || !word.at(4).isDouble())
        return std::nullopt;
    const std::optional<int> x = WholeNumber(word.at(0)), y = WholeNumber(word.at(1));
    const std::optional<int> w = WholeNumber(word.at(2)), h = WholeNumber(word.at(3));
    if (!x || !y || !w || !h || *x < 0 || *y < 0 || *w <= 0 || *h <= 0 || qint64(*x) + *w > image.width()
        || qint64(*y) + *h > image.height())
        return std::nullopt;
    const double confidence = word.at(4).toDouble();
    if (!(confidence >= 0 && confidence <= 100))
        return std::nullopt;
    return OcrWord{word.at(5).toString(), QRect(*x, *y, *w, *h), float(confidence)};
}

void Save(const QString &pageFile, const OcrPage &page, const SourceStamp &stamp)
{
    const QString path = OcrResultPath(pageFile);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw AppError(QStringLiteral("Cannot create the folder for %1").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    file.write(QJsonDocument(ToJson(page, stamp)).toJson(QJsonDocument::Compact));
    if (!file.commit())
        throw AppError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace

QString OcrResultPath(const QString &pageFile)
{
    const QFileInfo info(pageFile);
    return info.dir().filePath(QStringLiteral("ocr/") + info.completeBaseName() + QStringLiteral(".ocr"));
}

std::optional<OcrPage> LoadOcrResult(const QString &pageFile, const QString &language)
{
    QFile file(OcrResultPath(pageFile));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("format")).toInt() != FormatVersion
        || root.value(QStringLiteral("language")).toString() != language)
        return std::nullopt;
    const QJsonObject source = root.value(QStringLiteral("source")).toObject();
    const SourceStamp kept{source.value(QStringLiteral("size")).toInteger(-1),
                           source.value(QStringLiteral("modified")).toInteger(),
                           source.value(QStringLiteral("hash")).toString()};
    if (StampOf(pageFile) != kept)
        return std::nullopt;

    OcrPage page;
    page.language = language;
    const QJsonArray image = root.value(QStringLiteral("image")).toArray();
    const std::optional<int> width = WholeNumber(image.at(0)), height = WholeNumber(image.at(1));
    if (image.size() != 2 || !width || !height || *width <= 0 || *height <= 0 || qint64(*width) * *height > MaxPagePixels)
        return std::nullopt;
    page.imageSize = QSize(*width, *height);
    const QJsonValue words = root.value(QStringLiteral("words"));
    if (!words.isArray())
        return std::nullopt;
    for (const QJsonValue &value : words.toArray()) {
        std::optional<OcrWord> word = WordOf(value, page.imageSize);
        if (!word)
            return std::nullopt;
        page.words.append(*std::move(word));
    }
    return page;
}

void SaveOcrResult(const QString &pageFile, const OcrPage &page)
{
    const std::optional<SourceStamp> stamp = StampOf(pageFile);
    if (!stamp)
        throw AppError(QStringLiteral("Cannot open file %1").arg(pageFile));
    Save(pageFile, page, *stamp);
}

OcrPage LoadOrRecognize(const QString &pageFile, const QString &language, OcrRecognizer &recognizer,
                        const std::atomic_bool *stop)
{
    if (std::optional<OcrPage> kept = LoadOcrResult(pageFile, language))
        return *std::move(kept);
    // Stamped before recognising: a page replaced meanwhile is recognised again next time.
    const std::optional<SourceStamp> stamp = StampOf(pageFile);
    if (!stamp)
        throw AppError(QStringLiteral("Cannot open file %1").arg(pageFile));
    OcrPage page = recognizer.Recognize(pageFile, language, stop);
    try {
        Save(pageFile, page, *stamp);
    } catch (const AppError &) {
        // Not kept: the page is recognised again on the next build, nothing worse.
    }
    return page;
}
