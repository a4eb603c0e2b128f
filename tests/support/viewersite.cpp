#include "viewersite.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCryptographicHash>
#include <QImageWriter>
#include <QPainter>
#include <QUrlQuery>

namespace {

QByteArray jsString(const QString &s)
{
    QByteArray out = "\"";
    for (QChar c : s) {
        if (c == u'"' || c == u'\\')
            out += '\\';
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'<')
            out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
        else
            out += char(c.unicode());
    }
    return out + "\"";
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

// An Exif segment (APP1) whose first image directory holds only the orientation.
QByteArray exifOrientationSegment(int orientation)
{
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);            // big-endian, directory at 8
    tiff += QByteArray("\0\x01", 2);                       // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);   // orientation, SHORT, one value
    tiff += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');                            // no next directory
    const QByteArray content = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(content.size()) + 2;
    return QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + content;
}

} // namespace

ViewerSite::ViewerSite(QObject *parent) : HttpTestServer(parent)
{
    route(QStringLiteral("/"), [](const QUrl &) {
        Response r;
        r.body = "<!DOCTYPE html><html><head><title>Quillmoor</title></head><body>"
                 "<h1>Quillmoor test library</h1><a id=\"book\" href=\"/cgi/pt?id=test.001\">A book</a>"
                 "</body></html>";
        return r;
    });
    route(QStringLiteral("/cgi/pt"), [this](const QUrl &u) { return viewer(u); });
    route(QStringLiteral("/img"), [this](const QUrl &u) { return image(u); });
}

void ViewerSite::addBook(const QString &id, const Book &book)
{
    m_books.insert(id, book);
}

void ViewerSite::addPage(const QString &path, const QByteArray &html)
{
    route(path, [html](const QUrl &) {
        Response r;
        r.body = html;
        return r;
    });
}

QString ViewerSite::viewerUrl(const QString &id, int seq) const
{
    return url(QStringLiteral("/cgi/pt?id=%1&seq=%2").arg(QString::fromLatin1(QUrl::toPercentEncoding(id)), QString::number(seq)));
}

ViewerSite::Response ViewerSite::viewer(const QUrl &u) const
{
    const QUrlQuery query(u);
    const QString id = query.queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded);
    const Book book = m_books.value(id);
    const int seq = qBound(1, query.queryItemValue(QStringLiteral("seq")).toInt(), qMax(1, book.totalSeq));
    const QByteArray total = book.hasTotal ? "{totalSeq: " + QByteArray::number(book.totalSeq) + "}" : "{}";
    const QByteArray mode = book.navigating ? "true" : "false";
    const QByteArray blobs = book.blobImages ? "true" : "false";

    Response r;
    const QString title = book.title.isEmpty() ? QStringLiteral("Viewer")
                                               : book.title + QStringLiteral(" - Page %1 | Quillmoor").arg(seq);
    r.body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title.toHtmlEscaped().toUtf8() + "</title>\n"
             "<script>var QM = {params: " + total + "};</script></head><body>\n"
             "<div><button aria-label=\"Previous Page\" onclick=\"viewer.go(viewer.seq - 1)\">Prev</button>"
             "<button aria-label=\"Next Page\" onclick=\"viewer.go(viewer.seq + 1)\">Next</button>"
             "<form onsubmit=\"return false\"><input name=\"seq\" value=\"" + QByteArray::number(seq) + "\"></form></div>\n"
             "<figure tabindex=\"0\"><img id=\"page\" src=\"\"></figure>\n"
             "<script>\n"
             "var viewer = {id: " + jsString(id) + ", seq: " + QByteArray::number(seq) + ", total: "
             + QByteArray::number(book.totalSeq) + ", navigating: " + mode + ", blobs: " + blobs + ", origin: " + jsString(book.imageOrigin) + ", retries: 0,\n"
             "  address: function(s) { return '/cgi/pt?id=' + encodeURIComponent(this.id) + '&seq=' + s + location.hash; },\n"
             "  imageUrl: function(s) { return this.origin + '/img?id=' + encodeURIComponent(this.id) + '&seq=' + s; },\n"
             "  show: function() { document.querySelector('input[name=\"seq\"]').value = this.seq;\n"
             "                     var img = document.getElementById('page'), url = this.imageUrl(this.seq);\n"
             "                     if (!this.blobs) { img.src = url; return; }\n"
             "                     fetch(url).then(function (r) { return r.blob(); })\n"
             "                       .then(function (b) { img.src = URL.createObjectURL(b); }); },\n"
             "  go: function(s) { if (s < 1 || s > this.total) return;\n"
             "    if (this.navigating) { location.href = this.address(s); return; }\n"
             "    this.seq = s; this.show(); history.pushState({seq: s}, '', this.address(s)); }\n"
             "};\n"
             "document.getElementById('page').onerror = function() { var img = this, src = this.src;\n"
             "  setTimeout(function() { if (img.src == src) img.src = src + '&retry=' + (++viewer.retries); }, "
             + QByteArray::number(book.imageRetryMs) + "); };\n"
             "viewer.show();\n"
             "</script></body></html>\n";
    return r;
}

QImage ViewerSite::pageImage(const QString &id, int seq) const
{
    const Book book = m_books.value(id);
    if (book.text)
        return textPage(seq);
    return book.scan ? scanPage(id, seq, book.scanSize) : smallPage(id, seq);
}

QImage ViewerSite::scanPage(const QString &id, int seq, QSize size)
{
    // Paper with fine colour grain, like a real scan, so the image hardly compresses and
    // its report is as long as a real one; dark lines of "text" on it, inside margins.
    QImage image(size, QImage::Format_RGB32);
    const int top = 200, bottom = image.height() - 208, left = 250, right = image.width() - 250;
    quint32 state = qHash(id) ^ uint(seq * 2654435761u) ^ 0x9E3779B9u;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const bool ink = (y / 40) % 2 == 1 && y > top && y < bottom;
        for (int x = 0; x < image.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 27) - 16;
            const int base = ink && x > left && x < right && ((x / 90) % 7) ? 40 : 232;
            line[x] = qRgb(qBound(0, base + grain, 255), qBound(0, base - 6 + int((state >> 20) & 15), 255),
                           qBound(0, base - 20 + int((state >> 12) & 31) - 8, 255));
        }
    }
    return image;
}

QStringList ViewerSite::textPageWords(int seq)
{
    static const QStringList words = {QStringLiteral("lantern"), QStringLiteral("harbour"), QStringLiteral("meadow"),
                                      QStringLiteral("granite"), QStringLiteral("orchard"), QStringLiteral("willow"),
                                      QStringLiteral("compass"), QStringLiteral("thunder"), QStringLiteral("velvet")};
    QStringList line;
    for (int i = 0; i < 5; ++i)
        line << words.at((seq * 4 + i) % words.size());
    return line;
}

QImage ViewerSite::textPage(int seq)
{
    QImage image(900, 500, QImage::Format_RGB32);
    image.fill(QColor(250, 246, 236));
    QPainter p(&image);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(34);
    p.setFont(font);
    p.setPen(QColor(20, 20, 20));
    const QStringList words = textPageWords(seq);
    p.drawText(60, 120, words.mid(0, 3).join(QLatin1Char(' ')));
    p.drawText(60, 220, words.mid(3).join(QLatin1Char(' ')));
    return image;
}

QImage ViewerSite::smallPage(const QString &id, int seq)
{
    // Every page has its own size and content, so a mix-up of pages shows.
    const uint seed = qHash(id) ^ uint(seq * 2654435761u);
    QImage image(300 + 17 * seq, 420 + 11 * seq, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(seed % 360), 40, 245));
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    for (int line = 0; line < 12; ++line) {
        p.setBrush(QColor::fromHsv(int((seed + line * 37) % 360), 200, 60 + line * 10));
        p.drawRect(20, 30 + line * 30, 100 + int((seed >> (line % 16)) % 150), 12);
    }
    p.setBrush(Qt::black);
    p.drawRect(image.width() - 40, image.height() - 40, 10 + seq % 20, 10);
    return image;
}

QByteArray ViewerSite::pagePng(const QString &id, int seq) const
{
    const QString key = id + QLatin1Char('/') + QString::number(seq);
    if (const auto it = m_pngs.constFind(key); it != m_pngs.cend())
        return it.value();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pageImage(id, seq).save(&buffer, "PNG");
    m_pngs.insert(key, bytes);
    return bytes;
}

QString ViewerSite::imagePath(const QString &id, int seq) const
{
    return QStringLiteral("/img?id=%1&seq=%2").arg(QString::fromLatin1(QUrl::toPercentEncoding(id))).arg(seq);
}

QByteArray ViewerSite::pageFile(const QString &id, int seq) const
{
    const Book book = m_books.value(id);
    if (book.format == Book::Format::Png)
        return pagePng(id, seq);
    const QString key = id + QLatin1Char('/') + QString::number(seq);
    if (const auto it = m_files.constFind(key); it != m_files.cend())
        return it.value();
    QByteArray bytes;
    QImage image = pageImage(id, seq);
    if (book.format == Book::Format::WebP) {
        bytes = encoded(image, "webp", 85);
    } else if (seq == book.rotatedPage) {
        // Stored a quarter turn to the left; orientation 6 turns it back for the viewer.
        bytes = encoded(image.transformed(QTransform().rotate(-90)), "jpeg", 85);
        bytes.insert(2, exifOrientationSegment(6));
    } else {
        if (seq == book.iccPage)
            image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        bytes = encoded(image, "jpeg", 85);
    }
    m_files.insert(key, bytes);
    return bytes;
}

ViewerSite::Response ViewerSite::image(const QUrl &u) const
{
    const QUrlQuery query(u);
    const QString id = query.queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded);
    const int seq = query.queryItemValue(QStringLiteral("seq")).toInt();
    const Book book = m_books.value(id);
    Response r;
    int &refused = m_refused[id + QLatin1Char('/') + QString::number(seq)];
    if (refused < book.unavailable.value(seq)) {
        ++refused;
        r.status = 503;
        r.body = "busy";
        return r;
    }
    if (seq == book.outagePage) {
        QElapsedTimer &since = m_outages[id + QLatin1Char('/') + QString::number(seq)];
        if (!since.isValid())
            since.start();
        if (since.elapsed() < book.outageMs) {
            r.status = 503;
            r.body = "<html><body>Down for maintenance</body></html>";
            if (book.retryAfterSeconds > 0)
                r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(book.retryAfterSeconds)));
            return r;
        }
    }
    r.delayMs = book.imageDelayMs;
    if (seq == book.faultyPage && book.fault == Book::Fault::Unavailable) {
        r.status = 503;
        r.body = "<html><body>Service unavailable</body></html>";
        return r;
    }
    static const QByteArray types[] = {"image/png", "image/jpeg", "image/webp"};
    r.contentType = types[int(book.format)];
    r.body = pageFile(id, seq);
    if (seq == book.faultyPage && book.fault == Book::Fault::CutOff)
        r.body.truncate(r.body.size() * 3 / 5);
    if (seq == book.faultyPage && book.fault == Book::Fault::Damaged)
        r.body = r.body.left(4) + QByteArray(2000, '\x5A'); // its signature, then nothing a decoder reads
    if (book.cacheable) {
        r.cacheControl = "max-age=3600";
        r.headers.append(qMakePair(QByteArray("ETag"), '"' + QCryptographicHash::hash(r.body, QCryptographicHash::Sha1).toHex() + '"'));
        r.headers.append(qMakePair(QByteArray("Last-Modified"), QByteArray("Tue, 01 Dec 2026 10:00:00 GMT")));
    }
    return r;
}
