// What the viewer's moves mean, as the watch decides it: between runs, during a run and while
// its PDF is built; and when turning pages finds the viewer no longer moving on.
#include "viewerwatch.h"

#include <QtTest>

Q_DECLARE_METATYPE(ViewerWatch::Verdict)

class TestViewerWatch : public QObject
{
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void stuckTurns_data();
    void stuckTurns();
};

void TestViewerWatch::verdicts_data()
{
    QTest::addColumn<QString>("when");     // "between", "running" (book lib.a#p1), "building"
    QTest::addColumn<bool>("loadEnd");     // a load that ended, else an address that changed
    QTest::addColumn<QString>("url");
    QTest::addColumn<ViewerWatch::Verdict>("verdict");
    QTest::addColumn<QString>("bookId");
    QTest::addColumn<QString>("reason");

    using V = ViewerWatch::Verdict;
    const QString book = QStringLiteral("https://www.quillmoor.org/cgi/pt?id=lib.a%23p1&seq=3");
    const QString sameBookNoFragment = QStringLiteral("https://www.quillmoor.org/cgi/pt?id=lib.a&seq=4");
    const QString other = QStringLiteral("https://www.quillmoor.org/cgi/pt?id=lib.b&seq=1");
    const QString signIn = QStringLiteral("https://www.quillmoor.org/login?return=book");
    const QString unusable = QStringLiteral("https://www.quillmoor.org/cgi/pt?id=%3A%3F");
    QTest::newRow("between: a book's viewer") << "between" << true << book << V::BookPage << "lib.a#p1" << "";
    QTest::newRow("between: another page") << "between" << true << signIn << V::OtherPage << "" << "";
    QTest::newRow("between: an id that gives no folder")
        << "between" << true << unusable << V::Refused << "" << "The book id \":?\" leaves no usable file name: no download";
    QTest::newRow("between: an address alone") << "between" << false << other << V::Same << "" << "";
    QTest::newRow("running: the same book") << "running" << false << book << V::Same << "" << "";
    QTest::newRow("running: the fragment dropped") << "running" << false << sameBookNoFragment << V::Same << "" << "";
    QTest::newRow("running: another book") << "running" << false << other << V::OtherBook << "lib.b"
                                           << "The viewer shows another book (lib.b): download stopped";
    QTest::newRow("running: another book loaded") << "running" << true << other << V::OtherBook << "lib.b"
                                                  << "The viewer shows another book (lib.b): download stopped";
    QTest::newRow("running: a sign-in page") << "running" << true << signIn << V::LeftBook << ""
                                             << "The viewer left the book: download stopped";
    QTest::newRow("running: an id that gives no folder") << "running" << false << unusable << V::OtherBook << ":?"
                                                         << "The viewer shows another book (:?): download stopped";
    // Every page has had its turn: the build needs no viewer.
    QTest::newRow("building: a sign-in page") << "building" << true << signIn << V::Same << "" << "";
    QTest::newRow("building: another book") << "building" << false << other << V::Same << "" << "";
}

void TestViewerWatch::verdicts()
{
    QFETCH(QString, when);
    QFETCH(bool, loadEnd);
    QFETCH(QString, url);
    QFETCH(ViewerWatch::Verdict, verdict);
    QFETCH(QString, bookId);
    QFETCH(QString, reason);

    ViewerWatch watch;
    if (when != QLatin1String("between"))
        watch.RunStarted(QStringLiteral("lib.a#p1"));
    if (when == QLatin1String("building"))
        watch.Building();
    const ViewerWatch::Answer answer = loadEnd ? watch.LoadEnded(url) : watch.AddressChanged(url);
    QCOMPARE(answer.verdict, verdict);
    QCOMPARE(answer.bookId, bookId);
    QCOMPARE(answer.reason, reason);
}

void TestViewerWatch::stuckTurns_data()
{
    // Each turn of the page, with what happened since the turn before: "moved" (the viewer's
    // address changed), "stored 4" (page 4 was stored), "sent" (the viewer was loaded at a
    // page), "-" (nothing).
    QTest::addColumn<QStringList>("turns");
    QTest::addColumn<int>("stuckAt"); // the turn found stuck (from 1), 0 none
    using L = QStringList;
    QTest::newRow("moving on") << L{"-", "moved", "stored 2", "moved"} << 0;
    QTest::newRow("three turns without a move") << L{"stored 1", "-", "-", "-"} << 4;
    QTest::newRow("a page stored counts as a move") << L{"stored 1", "-", "stored 2", "-", "-"} << 0;
    QTest::newRow("the same page stored again does not") << L{"stored 3", "stored 3", "stored 3", "stored 3"} << 4;
    QTest::newRow("loading a page starts afresh") << L{"stored 1", "-", "-", "sent", "-", "-"} << 0;
}

void TestViewerWatch::stuckTurns()
{
    QFETCH(QStringList, turns);
    QFETCH(int, stuckAt);
    ViewerWatch watch;
    watch.RunStarted(QStringLiteral("lib.a"));
    int lastStored = 0, stuck = 0;
    for (int i = 0; i < turns.size() && stuck == 0; ++i) {
        const QString &since = turns[i];
        if (since == QLatin1String("moved"))
            watch.Moved();
        else if (since == QLatin1String("sent"))
            watch.SentToPage();
        else if (since.startsWith(QLatin1String("stored ")))
            lastStored = since.mid(7).toInt();
        if (watch.TurnIsStuck(lastStored))
            stuck = i + 1;
    }
    QCOMPARE(stuck, stuckAt);
}

QTEST_GUILESS_MAIN(TestViewerWatch)
#include "tst_viewerwatch.moc"
