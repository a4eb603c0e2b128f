#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "logmemo.h"
#include "sitedownloadlog.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

// Files the site offers for download, saved by the real browser into the Downloads folder of
// a temporary HOME.
class TestSiteDownloads : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void folderCannotBeMade();
    void savedUnderFreeName_data();
    void savedUnderFreeName();

private:
    QString downloads() const { return TestEnv::home() + QStringLiteral("/Downloads"); }
    bool logHas(const QString &line) const { return fixture.window->Memo1->lines().contains(line); }

    WindowFixture fixture;
    ViewerSite *site = nullptr;
};

namespace {
const QByteArray EpubBytes = QByteArray("PK\x03\x04 not really an epub ", 25).repeated(200);
const QByteArray PdfBytes = "%PDF-1.4 offered through a link with the download attribute\n";
} // namespace

void TestSiteDownloads::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    site->route(QStringLiteral("/files/book.epub"), [](const QUrl &) {
        HttpTestServer::Response r;
        r.contentType = "application/epub+zip";
        r.headers << qMakePair(QByteArray("Content-Disposition"), QByteArray("attachment; filename=\"book.epub\""));
        r.body = EpubBytes;
        return r;
    });
    site->route(QStringLiteral("/files/raw"), [](const QUrl &) {
        HttpTestServer::Response r;
        r.contentType = "application/octet-stream";
        r.body = PdfBytes;
        return r;
    });
    site->addPage(QStringLiteral("/shelf"),
                  "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
                  "<a id=\"dl\" href=\"/files/raw\" download=\"\xC3\x9C" "ber B\xC3\xBC" "cher.pdf\">PDF</a></body></html>");
    fixture.setUp();
    LogSiteDownloads(fixture.profile);
}

void TestSiteDownloads::init()
{
    QVERIFY(fixture.openWindow());
}

void TestSiteDownloads::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(fixture.errors, QStringList());
}

void TestSiteDownloads::cleanupTestCase()
{
    fixture.tearDown();
}

void TestSiteDownloads::folderCannotBeMade()
{
    // A file where the Downloads folder belongs.
    QFile blocker(downloads());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("mine");
    blocker.close();

    fixture.window->chm->LoadURL(site->url(QStringLiteral("/files/book.epub")));
    QTRY_VERIFY_WITH_TIMEOUT(
        logHas(QStringLiteral("download failed book.epub: cannot create the folder %1").arg(downloads())), 20000);
    QVERIFY(blocker.open(QIODevice::ReadOnly));
    QCOMPARE(blocker.readAll(), QByteArray("mine"));
    blocker.close();
    QVERIFY(blocker.remove());
}

void TestSiteDownloads::savedUnderFreeName_data()
{
    QTest::addColumn<QString>("link");        // empty: the address itself is the download
    QTest::addColumn<QString>("address");
    // In Downloads beforehand ("name->target": a symbolic link); empty: no folder.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("attachment, no folder yet") << "" << "/files/book.epub" << QStringList() << "book.epub" << EpubBytes;
    QTest::newRow("attachment, name taken")
        << "" << "/files/book.epub" << QStringList{"book.epub"} << "book (1).epub" << EpubBytes;
    QTest::newRow("attachment, taken twice")
        << "" << "/files/book.epub" << QStringList{"book.epub", "book (1).epub"} << "book (2).epub" << EpubBytes;
    QTest::newRow("attachment, a link to nowhere at the name")
        << "" << "/files/book.epub" << QStringList{"book.epub->elsewhere.epub"} << "book (1).epub" << EpubBytes;
    QTest::newRow("download attribute, name taken")
        << "dl" << "/shelf" << QStringList{"Über Bücher.pdf"} << "Über Bücher (1).pdf" << PdfBytes;
}

void TestSiteDownloads::savedUnderFreeName()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QFETCH(QStringList, present);
    QFETCH(QString, expected);
    QFETCH(QByteArray, content);

    QDir folder(downloads());
    QVERIFY(folder.removeRecursively());
    QStringList files; // the user's own files, as they must stay
    for (const QString &name : present) {
        QVERIFY(QDir().mkpath(downloads()));
        if (name.contains(QLatin1String("->"))) {
            QVERIFY(QFile::link(folder.filePath(name.section(QLatin1String("->"), 1)),
                                folder.filePath(name.section(QLatin1String("->"), 0, 0))));
            continue;
        }
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's own file");
        files << name;
    }

    if (link.isEmpty()) {
        fixture.window->chm->LoadURL(site->url(address));
    } else {
        QVERIFY(fixture.loadAndWait(site->url(address)));
        fixture.window->chm->ExecuteJavaScript(QStringLiteral("document.getElementById('%1').click()").arg(link));
    }
    const QString path = folder.filePath(expected);
    QTRY_VERIFY_WITH_TIMEOUT(logHas(QStringLiteral("saved file %1").arg(path)), 20000);
    QVERIFY(logHas(QStringLiteral("Download file %1 ...").arg(expected)));

    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), content);
    for (const QString &name : files) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("the user's own file"));
    }
    // Links stay links, and nothing came to be where they lead.
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).size(),
             present.size() + 1);
    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("elsewhere.epub"))));
}

QM_TEST_MAIN_WITH(TestSiteDownloads, PrepareEngineProcess())
#include "tst_sitedownloads.moc"
