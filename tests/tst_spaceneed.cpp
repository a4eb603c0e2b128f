// Whether a run's pages and its PDF fit where they go, told before the run starts.
#include "spaceneed.h"

#include <QtTest>

class TestSpaceNeed : public QObject
{
    Q_OBJECT
private slots:
    void shortage_data();
    void shortage();
};

void TestSpaceNeed::shortage_data()
{
    QTest::addColumn<bool>("oneDisk");      // the pages and the PDF on the same disk
    QTest::addColumn<qint64>("pageFree");   // bytes free where the pages go
    QTest::addColumn<qint64>("pdfFree");    // and where the PDF goes (another disk)
    QTest::addColumn<int>("pagesLeft");
    QTest::addColumn<int>("pagesInPdf");
    QTest::addColumn<qint64>("storedBytes");
    QTest::addColumn<int>("storedPages");
    QTest::addColumn<QString>("said");      // empty: it fits
    const qint64 MB = 1'000'000;
    QTest::newRow("fits") << true << 1000 * MB << 0ll << 100 << 200 << 300 * MB << 100 << "";
    // 3 MB a page: 300 MB of pages and a PDF of 600 MB on one disk.
    QTest::newRow("one disk, short") << true << 800 * MB << 0ll << 100 << 200 << 300 * MB << 100
                                     << "Not enough space in /pages: 800 MB free, this book needs about 900 MB";
    QTest::newRow("2 MB a page before any is stored") << true << 120 * MB << 0ll << 400 << 400 << 0ll << 0
                                                      << "Not enough space in /pages: 120 MB free, this book needs about 1600 MB";
    QTest::newRow("two disks, pages short") << false << 200 * MB << 10000 * MB << 100 << 200 << 300 * MB << 100
                                            << "Not enough space in /pages: 200 MB free, this book needs about 300 MB";
    QTest::newRow("two disks, PDF short") << false << 10000 * MB << 500 * MB << 100 << 200 << 300 * MB << 100
                                          << "Not enough space in /pdfs: 500 MB free, this book needs about 600 MB";
    QTest::newRow("two disks, each enough") << false << 300 * MB << 600 * MB << 100 << 200 << 300 * MB << 100 << "";
}

void TestSpaceNeed::shortage()
{
    QFETCH(bool, oneDisk);
    QFETCH(qint64, pageFree);
    QFETCH(qint64, pdfFree);
    QFETCH(int, pagesLeft);
    QFETCH(int, pagesInPdf);
    QFETCH(qint64, storedBytes);
    QFETCH(int, storedPages);
    QFETCH(QString, said);
    SpaceNeed need;
    need.pageFolder = QStringLiteral("/pages");
    need.pdfFolder = QStringLiteral("/pdfs");
    need.pagesLeft = pagesLeft;
    need.pagesInPdf = pagesInPdf;
    need.storedBytes = storedBytes;
    need.storedPages = storedPages;
    need.diskOf = [&](const QString &folder) {
        if (oneDisk || folder == need.pageFolder)
            return SpaceNeed::Disk{QStringLiteral("disk1"), pageFree};
        return SpaceNeed::Disk{QStringLiteral("disk2"), pdfFree};
    };
    QCOMPARE(need.Shortage().value_or(QString()), said);
}

QTEST_GUILESS_MAIN(TestSpaceNeed)
#include "tst_spaceneed.moc"
