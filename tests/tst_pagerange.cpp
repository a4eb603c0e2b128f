#include "pagerange.h"
#include "testenv.h"

#include <QApplication>
#include <QtTest>

// Page ranges as the user types them, and laid on a book.
class TestPageRange : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void refused_data();
    void refused();
    void resolve_data();
    void resolve();
};

void TestPageRange::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("written"); // how the range is written back

    QTest::newRow("both ends") << "10-50" << 10 << 50 << "10-50";
    QTest::newRow("to the end") << "10-" << 10 << 0 << "10-";
    QTest::newRow("from the page on display") << "-50" << 0 << 50 << "-50";
    QTest::newRow("one page") << "7" << 7 << 7 << "7";
    QTest::newRow("one page as a range") << "7-7" << 7 << 7 << "7";
    QTest::newRow("empty: the rest of the book") << "" << 0 << 0 << "";
    QTest::newRow("blank") << "   " << 0 << 0 << "";
    QTest::newRow("spaces around") << " 10 - 50 " << 10 << 50 << "10-50";
    QTest::newRow("leading zeros") << "007-010" << 7 << 10 << "7-10";
    QTest::newRow("largest page number") << "1-100000" << 1 << 100000 << "1-100000";
}

void TestPageRange::parse()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, written);

    QString error;
    const std::optional<PageRange> range = ParsePageRange(text, &error);
    QVERIFY2(range, qPrintable(error));
    QCOMPARE(range->from, from);
    QCOMPARE(range->to, to);
    QCOMPARE(PageRangeText(*range), written);
    QCOMPARE(ParsePageRange(written), range); // what is written reads back the same
}

void TestPageRange::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");

    const QString form = QStringLiteral("is not a page range: write FROM-TO, for example 10-50, 10- or -50");
    QTest::newRow("page 0 at the start") << "0-3" << "Pages are counted from 1, so there is no page 0 (\"0-3\")";
    QTest::newRow("page 0 alone") << "0" << "Pages are counted from 1, so there is no page 0 (\"0\")";
    QTest::newRow("page 0 at the end") << "-0" << "Pages are counted from 1, so there is no page 0 (\"-0\")";
    QTest::newRow("backwards") << "5-2" << "The range 5-2 ends before it starts";
    QTest::newRow("letters") << "a-b" << "\"a-b\" " + form;
    QTest::newRow("dash alone") << "-" << "\"-\" " + form;
    QTest::newRow("two dashes") << "1-2-3" << "\"1-2-3\" " + form;
    QTest::newRow("negative end") << "5--2" << "\"5--2\" " + form;
    QTest::newRow("sign") << "+5" << "\"+5\" " + form;
    QTest::newRow("fraction") << "1.5-3" << "\"1.5-3\" " + form;
    QTest::newRow("space inside a number") << "1 0-20" << "\"1 0-20\" " + form;
    QTest::newRow("comma list") << "1,3" << "\"1,3\" " + form;
    QTest::newRow("other digits") << "\u0663-\u0665" << "\"\u0663-\u0665\" " + form;
    QTest::newRow("too large for a number") << "1-99999999999" << "Page 99999999999 is past the largest book the program takes (100000 pages)";
    QTest::newRow("the largest int") << "2147483647" << "Page 2147483647 is past the largest book the program takes (100000 pages)";
    QTest::newRow("past the largest book") << "1-100001" << "Page 100001 is past the largest book the program takes (100000 pages)";
}

void TestPageRange::refused()
{
    QFETCH(QString, text);
    QFETCH(QString, error);

    QString reason;
    QCOMPARE(ParsePageRange(text, &reason), std::nullopt);
    QCOMPARE(reason, error);
}

void TestPageRange::resolve_data()
{
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("pageOnDisplay");
    QTest::addColumn<int>("totalPages");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("error");

    const QString ok;
    QTest::newRow("whole rest from the page on display") << "" << 12 << 88 << 12 << 88 << ok;
    QTest::newRow("whole book from its start") << "" << 1 << 88 << 1 << 88 << ok;
    QTest::newRow("page on display not known yet") << "" << 0 << 88 << 1 << 88 << ok;
    QTest::newRow("given range inside the book") << "10-50" << 12 << 88 << 10 << 50 << ok;
    QTest::newRow("given start, open end") << "10-" << 60 << 88 << 10 << 88 << ok;
    QTest::newRow("open start, given end") << "-50" << 12 << 88 << 12 << 50 << ok;
    QTest::newRow("last page alone") << "88" << 1 << 88 << 88 << 88 << ok;
    QTest::newRow("up to the last page") << "80-88" << 1 << 88 << 80 << 88 << ok;
    QTest::newRow("one-page book") << "" << 1 << 1 << 1 << 1 << ok;
    QTest::newRow("start past the end") << "120-" << 1 << 88 << 0 << 0 << "Page 120 is past the book's end (88 pages)";
    QTest::newRow("end past the end") << "10-120" << 1 << 88 << 0 << 0 << "Page 120 is past the book's end (88 pages)";
    QTest::newRow("past a one-page book") << "2" << 1 << 1 << 0 << 0 << "Page 2 is past the book's end (1 page)";
    QTest::newRow("page on display past the end") << "" << 90 << 88 << 0 << 0 << "Page 90 is past the book's end (88 pages)";
    QTest::newRow("page on display after the end")
        << "-50" << 60 << 88 << 0 << 0 << "The range ends at page 50, before the page on display (page 60)";
    // Without a page count only the range itself can be checked.
    QTest::newRow("unknown count: open end stays open") << "10-" << 1 << 0 << 10 << 0 << ok;
    QTest::newRow("unknown count: end as given") << "10-120" << 1 << 0 << 10 << 120 << ok;
    QTest::newRow("unknown count: rest of the book") << "" << 5 << 0 << 5 << 0 << ok;
    QTest::newRow("unknown count: up to the largest book") << "99999-100000" << 1 << 0 << 99999 << 100000 << ok;
    QTest::newRow("unknown count: page on display past the largest book")
        << "" << 2147483647 << 0 << 0 << 0 << "Page 2147483647 is past the largest book the program takes (100000 pages)";
    QTest::newRow("unknown count: page on display after the end")
        << "-3" << 5 << 0 << 0 << 0 << "The range ends at page 3, before the page on display (page 5)";
}

void TestPageRange::resolve()
{
    QFETCH(QString, range);
    QFETCH(int, pageOnDisplay);
    QFETCH(int, totalPages);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, error);

    const std::optional<PageRange> given = ParsePageRange(range);
    QVERIFY(given);
    QString reason;
    const std::optional<PageSpan> span = ResolvePageRange(*given, pageOnDisplay, totalPages, &reason);
    QCOMPARE(reason, error);
    if (!error.isEmpty()) {
        QCOMPARE(span, std::nullopt);
        return;
    }
    QVERIFY(span);
    QCOMPARE(span->first, first);
    QCOMPARE(span->last, last);
}

QM_TEST_MAIN(TestPageRange)
#include "tst_pagerange.moc"
