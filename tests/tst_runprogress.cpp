#include "runprogress.h"
#include "testenv.h"

#include <QApplication>
#include <QtTest>

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::seconds;

Q_DECLARE_METATYPE(std::optional<milliseconds>)

class TestRunProgress : public QObject
{
    Q_OBJECT
private slots:
    void estimate_data();
    void estimate();
    void text_data();
    void text();
};

void TestRunProgress::estimate_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("before");           // pages in store before the run
    QTest::addColumn<QList<int>>("storedAtSec"); // when this run's pages came, in seconds
    QTest::addColumn<double>("fraction");
    QTest::addColumn<std::optional<milliseconds>>("left");

    const std::optional<milliseconds> none;
    QTest::newRow("nothing yet") << 300 << 0 << QList<int>{} << 0.0 << none;
    QTest::newRow("one page is no pace") << 300 << 0 << QList<int>{0} << 1 / 300.0 << none;
    QTest::newRow("two pages") << 300 << 0 << QList<int>{0, 6} << 2 / 300.0 << std::optional<milliseconds>(298 * 6s);
    QTest::newRow("steady pace") << 10 << 0 << QList<int>{0, 6, 12, 18, 24} << 0.5 << std::optional<milliseconds>(5 * 6s);
    QTest::newRow("one slow page does not count")
        << 10 << 0 << QList<int>{0, 6, 12, 72, 78} << 0.5 << std::optional<milliseconds>(5 * 6s);
    QTest::newRow("even count: middle two averaged")
        << 10 << 0 << QList<int>{0, 4, 10, 18, 28} << 0.5 << std::optional<milliseconds>(5 * 7s);
    QTest::newRow("pace follows the recent pages")
        << 20 << 0 << QList<int>{0, 60, 120, 180, 240, 246, 252, 258, 264, 270, 276, 282, 288, 294}
        << 14 / 20.0 << std::optional<milliseconds>(6 * 6s);
    QTest::newRow("resumed run counts stored pages") << 10 << 6 << QList<int>{0, 5} << 0.8 << std::optional<milliseconds>(2 * 5s);
    QTest::newRow("done") << 3 << 0 << QList<int>{0, 6, 12} << 1.0 << std::optional<milliseconds>(0s);
    QTest::newRow("more pages than the book has") << 2 << 1 << QList<int>{0, 6, 12} << 1.0 << std::optional<milliseconds>(0s);
    QTest::newRow("book without pages") << 0 << 0 << QList<int>{} << 1.0 << std::optional<milliseconds>(0s);
}

void TestRunProgress::estimate()
{
    QFETCH(int, total);
    QFETCH(int, before);
    QFETCH(QList<int>, storedAtSec);
    QFETCH(double, fraction);
    QFETCH(std::optional<milliseconds>, left);

    RunProgress progress(total, before);
    const RunProgress::Clock::time_point start{};
    for (int at : storedAtSec)
        progress.PageStored(start + seconds(at));
    QCOMPARE(progress.Fraction(), fraction);
    QCOMPARE(progress.TimeLeft().has_value(), left.has_value());
    if (left)
        QCOMPARE(progress.TimeLeft()->count(), left->count());
}

void TestRunProgress::text_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("total");
    QTest::addColumn<std::optional<milliseconds>>("left");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no estimate") << 1 << 300 << std::optional<milliseconds>() << "1 / 300 pages";
    QTest::newRow("minutes") << 12 << 300 << std::optional<milliseconds>(31min) << "12 / 300 pages, about 31 min left";
    QTest::newRow("rounded to the nearest minute")
        << 12 << 300 << std::optional<milliseconds>(30min + 31s) << "12 / 300 pages, about 31 min left";
    QTest::newRow("under a minute") << 299 << 300 << std::optional<milliseconds>(6s) << "299 / 300 pages, less than a minute left";
    QTest::newRow("hours and minutes") << 2 << 900 << std::optional<milliseconds>(89min + 45s) << "2 / 900 pages, about 1 h 30 min left";
    QTest::newRow("whole hours") << 2 << 900 << std::optional<milliseconds>(120min) << "2 / 900 pages, about 2 h left";
    QTest::newRow("done") << 300 << 300 << std::optional<milliseconds>(0s) << "300 / 300 pages";
}

void TestRunProgress::text()
{
    QFETCH(int, stored);
    QFETCH(int, total);
    QFETCH(std::optional<milliseconds>, left);
    QFETCH(QString, expected);
    QCOMPARE(RunProgressText(stored, total, left), expected);
}

QM_TEST_MAIN(TestRunProgress)
#include "tst_runprogress.moc"
