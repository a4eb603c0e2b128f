// Which page a run goes to next, as the plan decides it: a table of runs, each a start and what
// happened after, with the steps the plan answered.
#include "bookidentity.h"
#include "runplan.h"

#include <QSet>
#include <QtTest>

namespace {

QString stepText(const RunPlan::Step &step)
{
    QString text = step.beginsSecondPass ? QStringLiteral("again: ") : QString();
    switch (step.kind) {
    case RunPlan::Step::Capture:
        return text + QStringLiteral("capture");
    case RunPlan::Step::Turn:
        return text + QStringLiteral("turn %1").arg(step.page);
    case RunPlan::Step::GoTo:
        return text + QStringLiteral("goto %1").arg(step.page);
    case RunPlan::Step::Build:
        return text + QStringLiteral("build");
    }
    return {};
}

} // namespace

class TestRunPlan : public QObject
{
    Q_OBJECT
private slots:
    void steps_data();
    void steps();
};

void TestRunPlan::steps_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");            // 0: the book's end is not known
    QTest::addColumn<bool>("rangeAsked");
    QTest::addColumn<int>("onDisplay");       // 0: the address names no page
    QTest::addColumn<QString>("stored");      // pages stored before the run: "1 2", or "all"
    // After the start: "s3" page 3 stored, "g3" page 3 given up ("g0": the page on display,
    // not known which), "end" the viewer does not move on any more.
    QTest::addColumn<QStringList>("happened");
    QTest::addColumn<QStringList>("steps");   // the start's, then one for each that happened
    QTest::addColumn<QString>("storedFirst"); // what the start found stored first: "1-2"
    QTest::addColumn<QList<int>>("stillMissing");

    using L = QStringList;
    QTest::newRow("whole book") << 1 << 3 << false << 1 << "" << L{"s1", "s2", "s3"}
                                << L{"capture", "turn 2", "turn 3", "build"} << "" << QList<int>{};
    QTest::newRow("goes on at the first page not stored") << 1 << 5 << true << 1 << "1 2" << L{"s3", "s4", "s5"}
                                                          << L{"goto 3", "turn 4", "turn 5", "build"} << "1-2" << QList<int>{};
    QTest::newRow("stored pages in between skipped") << 1 << 6 << false << 1 << "3 4" << L{"s1", "s2", "s5", "s6"}
                                                     << L{"capture", "turn 2", "goto 5", "turn 6", "build"} << "" << QList<int>{};
    QTest::newRow("every page stored") << 2 << 3 << false << 2 << "all" << L{} << L{"build"} << "2-3" << QList<int>{};
    QTest::newRow("a range of the book") << 2 << 4 << true << 1 << "" << L{"s2", "s3", "s4"}
                                         << L{"goto 2", "turn 3", "turn 4", "build"} << "" << QList<int>{};
    QTest::newRow("page given up, then recovered") << 1 << 4 << false << 1 << "" << L{"s1", "g2", "s3", "s4", "s2"}
                                                   << L{"capture", "turn 2", "turn 3", "turn 4", "again: goto 2", "build"} << ""
                                                   << QList<int>{};
    QTest::newRow("pages given up twice") << 1 << 4 << false << 1 << "" << L{"s1", "g2", "g3", "s4", "g2", "s3"}
                                          << L{"capture", "turn 2", "turn 3", "turn 4", "again: goto 2", "goto 3", "build"} << ""
                                          << QList<int>{2};
    QTest::newRow("last page given up") << 1 << 2 << false << 1 << "" << L{"s1", "g2", "g2"}
                                        << L{"capture", "turn 2", "again: goto 2", "build"} << "" << QList<int>{2};
    QTest::newRow("given up before stored pages") << 1 << 4 << false << 1 << "3" << L{"s1", "g2", "s4"}
                                                  << L{"capture", "turn 2", "goto 4", "again: goto 2"} << "" << QList<int>{};
    QTest::newRow("page on display not known, given up") << 1 << 3 << false << 0 << "" << L{"g0", "s2"}
                                                         << L{"capture", "turn 0", "turn 3"} << "" << QList<int>{};
    QTest::newRow("end not known: the first page ends the run") << 5 << 0 << false << 0 << "" << L{"s5"}
                                                                << L{"capture", "build"} << "" << QList<int>{};
    QTest::newRow("end not known, range asked") << 3 << 0 << true << 1 << "3 4" << L{"s5", "end"}
                                                << L{"goto 5", "build", "build"} << "3-4" << QList<int>{};
    QTest::newRow("viewer stops moving") << 1 << 9 << false << 1 << "" << L{"s1", "g2", "end", "s2"}
                                         << L{"capture", "turn 2", "turn 3", "again: goto 2", "build"} << "" << QList<int>{};
    // The loop over the pages ends at the largest book the program takes.
    QTest::newRow("end not known, all stored") << 99990 << 0 << true << 1 << "all" << L{} << L{"build"} << "99990-100000"
                                               << QList<int>{};
}

void TestRunPlan::steps()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, rangeAsked);
    QFETCH(int, onDisplay);
    QFETCH(QString, stored);
    QFETCH(QStringList, happened);
    QFETCH(QStringList, steps);
    QFETCH(QString, storedFirst);
    QFETCH(QList<int>, stillMissing);

    QSet<int> pages;
    for (const QString &page : stored.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        pages.insert(page.toInt());
    const bool all = stored == QLatin1String("all");
    int asked = 0;
    RunPlan plan(PageSpan{first, last}, rangeAsked, [&](int page) {
        ++asked;
        return all || pages.contains(page);
    });
    const RunPlan::Opening opening = plan.Start(onDisplay);
    QStringList answered{stepText(opening.step)};
    QCOMPARE(opening.storedFrom > 0 ? QStringLiteral("%1-%2").arg(opening.storedFrom).arg(opening.storedTo) : QString(), storedFirst);
    for (const QString &event : happened) {
        const int page = event.mid(1).toInt();
        if (event.startsWith(QLatin1Char('s'))) {
            pages.insert(page);
            answered << stepText(plan.PageStored(page));
        } else if (event.startsWith(QLatin1Char('g'))) {
            answered << stepText(plan.PageGivenUp(page));
        } else {
            answered << stepText(plan.EndOfPages());
        }
    }
    QCOMPARE(answered, steps);
    QCOMPARE(plan.StillMissing(), stillMissing);
    QVERIFY(asked <= MaxBookPages * 2);
}

QTEST_GUILESS_MAIN(TestRunPlan)
#include "tst_runplan.moc"
