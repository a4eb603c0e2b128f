#include "pagereport.h"

#include "apperror.h"
#include "base64.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>

namespace {

int memberInt(const QJsonObject &object, QLatin1String name)
{
    const QJsonValue value = object.value(name);
    return value.isDouble() ? value.toInt() : 0;
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
    PageReport report;
    QString image;
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            throw AppError(QStringLiteral("Page report is not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
        if (!document.isObject())
            throw AppError(QStringLiteral("Page report is not a JSON object"));
        const QJsonObject object = document.object();
        report.currpage = ReportMemberText(object.value(QLatin1String("currpage")));
        report.naturalWidth = memberInt(object, QLatin1String("naturalWidth"));
        report.naturalHeight = memberInt(object, QLatin1String("naturalHeight"));
        report.source = ReportMemberText(object.value(QLatin1String("source")));
        report.why = ReportMemberText(object.value(QLatin1String("why")));
        report.src = ReportMemberText(object.value(QLatin1String("src")));
        image = object.value(QLatin1String("img")).toString();
    } // a canvas copy's report runs to tens of megabytes: its parsed form goes before decoding
    report.bytes = DataUrlBytes(image);
    return report;
}

QString PageReportFault(const PageReport &report, PageImageInfo &info)
{
    // The build's own reading of the file (a JPEG within the page limit decoded whole, a PNG's
    // chunks and image data checked), so what is stored can be built.
    info = InspectPageImage(report.bytes);
    if (!info.usable())
        return info.reason;
    if (report.naturalWidth > 0 && report.naturalHeight > 0
        && (info.displayedWidth() != report.naturalWidth || info.displayedHeight() != report.naturalHeight))
        return QStringLiteral("an image of %1 x %2 pixels where the viewer shows %3 x %4")
            .arg(info.displayedWidth()).arg(info.displayedHeight()).arg(report.naturalWidth).arg(report.naturalHeight);
    return {};
}
