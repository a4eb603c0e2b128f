#include "pagereport.h"

#include "apperror.h"
#include "base64.h"
#include "jpegstructure.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>
#include <cstring>

namespace {

int memberInt(const QJsonObject &object, QLatin1String name)
{
    const QJsonValue value = object.value(name);
    return value.isDouble() ? value.toInt() : 0;
}

quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | u[3];
}

// Walks the chunks of a PNG to its IEND: a file cut short does not get there.
QString checkPngChunks(const QByteArray &bytes)
{
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const quint32 length = be32(bytes.constData() + at);
        if (length > quint32(bytes.size()) || at + 12 + qsizetype(length) > bytes.size())
            break;
        if (std::memcmp(bytes.constData() + at + 4, "IEND", 4) == 0)
            return {};
        at += 12 + qsizetype(length);
    }
    return QStringLiteral("the file ends before its end chunk (cut short)");
}

} // namespace

QString ReportMemberText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::trunc(d) == d && std::fabs(d) < 9007199254740992.0)
            return QString::number(qint64(d));
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return {};
    }
}

QByteArray DataUrlBytes(QStringView dataUrl)
{
    const qsizetype comma = dataUrl.indexOf(u',');
    return DecodeBase64Tolerant(comma < 0 ? QStringView() : dataUrl.mid(comma + 1));
}

PageReport ReadPageReport(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw AppError(QStringLiteral("Page report is not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        throw AppError(QStringLiteral("Page report is not a JSON object"));
    const QJsonObject object = document.object();
    PageReport report;
    report.currpage = ReportMemberText(object.value(QLatin1String("currpage")));
    report.naturalWidth = memberInt(object, QLatin1String("naturalWidth"));
    report.naturalHeight = memberInt(object, QLatin1String("naturalHeight"));
    report.source = ReportMemberText(object.value(QLatin1String("source")));
    report.why = ReportMemberText(object.value(QLatin1String("why")));
    report.bytes = DataUrlBytes(object.value(QLatin1String("img")).toString());
    return report;
}

QString PageReportFault(const PageReport &report, PageImageInfo &info)
{
    info = InspectPageImage(report.bytes);
    if (!info.usable())
        return info.reason;
    if (info.kind == PageImageInfo::Kind::Jpeg) {
        JpegFrame frame;
        if (const QString fault = CheckJpegStructure(report.bytes, frame); !fault.isEmpty())
            return fault;
    } else if (const QString fault = checkPngChunks(report.bytes); !fault.isEmpty()) {
        return fault;
    }
    if (report.naturalWidth > 0 && report.naturalHeight > 0
        && (info.displayedWidth() != report.naturalWidth || info.displayedHeight() != report.naturalHeight))
        return QStringLiteral("an image of %1 x %2 pixels where the viewer shows %3 x %4")
            .arg(info.displayedWidth()).arg(info.displayedHeight()).arg(report.naturalWidth).arg(report.naturalHeight);
    return {};
}
