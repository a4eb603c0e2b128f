#pragma once

#include "httptestserver.h"

#include <QElapsedTimer>
#include <QImage>
#include <QHash>
#include <QMap>
#include <QSize>

// The library site as the tests serve it: a home page and a book viewer at
// /cgi/pt?id=<id>&seq=<n> with what the program's scripts use (QM.params.totalSeq, the
// "seq" input, the page image inside figure[tabindex="0"], the "Next Page" button).
// Page images differ per page in content and pixel size.
class ViewerSite : public HttpTestServer
{
    Q_OBJECT
public:
    struct Book
    {
        int totalSeq = 3;
        bool hasTotal = true;       // QM.params.totalSeq present
        bool navigating = false;    // Next Page loads a new document instead of pushState
        int imageDelayMs = 0;       // page images arrive this much later
        QString imageOrigin;        // serve page images from this origin (e.g. another server)
        QString title;              // the book's title; the page's title adds the page and the site
        bool text = false;          // pages of printed text (the words of textPageWords)
        bool scan = false;          // pages as a library scans them: A4 at 300 dpi in colour, with grain
        QSize scanSize{2480, 3508}; // the pixel size of those scanned pages
        QMap<int, int> unavailable; // page seq: its image answers 503 this many times first
        int imageRetryMs = 5000;    // the viewer loads an image that failed again this much later

        enum class Format { Png, Jpeg, WebP };
        Format format = Format::Png; // how page images are served (JPEG at quality 85)
        bool cacheable = true;      // the browser may keep page images (max-age, ETag), else no-store
        bool blobImages = false;    // the viewer shows page images through blob: addresses of its own
        int rotatedPage = 0;        // this page's JPEG is stored turned, with EXIF orientation 6
        int iccPage = 0;            // this page's JPEG carries an ICC profile (Display P3)
        enum class Fault { None, Unavailable, CutOff, Damaged };
        int faultyPage = 0;         // this page's image is answered with 503, cut short, or damaged (200, no decoder reads it)
        Fault fault = Fault::None;
        // An outage: this page's image is answered with 503 for outageMs after it was first
        // asked for, with a Retry-After of that many seconds when above 0.
        int outagePage = 0;
        int outageMs = 0;
        int retryAfterSeconds = 0;
    };

    explicit ViewerSite(QObject *parent = nullptr);

    // A book the viewer shows; ids not added get a default Book.
    void addBook(const QString &id, const Book &book);
    // An extra page at exactly this path.
    void addPage(const QString &path, const QByteArray &html);

    QString homeUrl() const { return url(QStringLiteral("/")); }
    QString viewerUrl(const QString &id, int seq = 1) const;

    // The image served for page seq of book id as the viewer shows it, and its PNG bytes.
    QImage pageImage(const QString &id, int seq) const;
    QByteArray pagePng(const QString &id, int seq) const;
    // The image file served for page seq of book id, byte for byte (encoded once).
    QByteArray pageFile(const QString &id, int seq) const;
    QString imagePath(const QString &id, int seq) const;   // its "path?query"
    // The small page of an ordinary book, and a scan with grain (by default A4 at 300 dpi).
    static QImage smallPage(const QString &id, int seq);
    static QImage scanPage(const QString &id, int seq, QSize size = QSize(2480, 3508));
    static QImage textPage(int seq);
    // The words printed on a text page.
    static QStringList textPageWords(int seq);

private:
    Response viewer(const QUrl &url) const;
    Response image(const QUrl &url) const;

    QMap<QString, Book> m_books;
    mutable QHash<QString, QByteArray> m_pngs;  // encoding a scan takes seconds
    mutable QHash<QString, QByteArray> m_files;
    mutable QHash<QString, int> m_refused;      // 503 answers given per page image
    mutable QHash<QString, QElapsedTimer> m_outages; // since the first request of an outage's image
};
