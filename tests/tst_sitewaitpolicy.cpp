// What a run does about a page whose image does not come, as the policy decides it: a table of
// failures of one page in a row, each at its time, with the decision for each.
#include "sitewaitpolicy.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

// "503" (the site's answer, Retry-After after a slash: "503/40"), "none" (no picture, nobody
// said why), "bad" (an image that cannot be the page), "damaged" (a file no decoder reads),
// "offline" (no connection), "crash" (the page process ended).
PageFailure failureOf(const QString &text)
{
    PageFailure failure;
    if (text == QLatin1String("none"))
        return failure;
    if (text == QLatin1String("bad")) {
        failure.kind = PageFailure::Unusable;
        failure.reason = QStringLiteral("cut short");
        return failure;
    }
    if (text == QLatin1String("crash")) {
        failure.kind = PageFailure::ProcessEnded;
        failure.reason = QStringLiteral("crashed");
        return failure;
    }
    failure.kind = PageFailure::SiteSaid;
    if (text == QLatin1String("damaged")) {
        failure.fault = ReadSiteFault(QStringLiteral("{\"status\":200,\"damaged\":true}"));
        return failure;
    }
    if (text == QLatin1String("offline")) {
        failure.fault = ReadSiteFault(QStringLiteral("{\"error\":\"no connection\"}"));
        return failure;
    }
    const QStringList parts = text.split(QLatin1Char('/'));
    failure.fault = ReadSiteFault(parts.size() > 1 ? QStringLiteral("{\"status\":%1,\"retryAfter\":\"%2\"}").arg(parts[0], parts[1])
                                                   : QStringLiteral("{\"status\":%1}").arg(parts[0]));
    return failure;
}

QString decisionText(const SiteWaitPolicy::Decision &decision)
{
    switch (decision.kind) {
    case SiteWaitPolicy::Decision::TryAgain:
        return QStringLiteral("again");
    case SiteWaitPolicy::Decision::Reload:
        return QStringLiteral("reload");
    case SiteWaitPolicy::Decision::Wait:
        return QStringLiteral("wait %1 (%2)").arg(WaitText(decision.wait), decision.why);
    case SiteWaitPolicy::Decision::GiveUp:
        switch (decision.cause) {
        case GiveUpCause::Failed:
            return QStringLiteral("give up");
        case GiveUpCause::Unusable:
            return QStringLiteral("give up, unusable: ") + decision.why;
        case GiveUpCause::Damaged:
            return QStringLiteral("give up, damaged");
        case GiveUpCause::Refused:
            return QStringLiteral("give up, refused: ") + decision.why;
        case GiveUpCause::ProcessEnded:
            return QStringLiteral("give up, page process: ") + decision.why;
        }
    }
    return {};
}

} // namespace

class TestSiteWaitPolicy : public QObject
{
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void storedPageStartsAfresh();
    void retryAfter_data();
    void retryAfter();
};

void TestSiteWaitPolicy::decisions_data()
{
    QTest::addColumn<QStringList>("failures");   // of one page, in a row
    QTest::addColumn<QList<int>>("atSeconds");   // when each came, from the first
    QTest::addColumn<bool>("pageKnown");
    QTest::addColumn<bool>("secondPass");
    QTest::addColumn<QStringList>("decisions");

    using L = QStringList;
    using T = QList<int>;
    QTest::newRow("growing waits") << L{"503", "503", "503", "503", "503", "503"} << T{0, 10, 40, 100, 220, 520} << true << false
                                   << L{"wait 10 s (HTTP 503)", "wait 30 s (HTTP 503)", "wait 1 min (HTTP 503)",
                                        "wait 2 min (HTTP 503)", "wait 5 min (HTTP 503)", "wait 5 min (HTTP 503)"};
    QTest::newRow("given up after 15 minutes") << L{"503", "503"} << T{0, 900} << true << false
                                               << L{"wait 10 s (HTTP 503)", "give up"};
    QTest::newRow("never shorter than Retry-After") << L{"503/40", "503/5"} << T{0, 40} << true << false
                                                    << L{"wait 40 s (HTTP 503)", "wait 30 s (HTTP 503)"};
    QTest::newRow("Retry-After obeyed up to 10 minutes") << L{"429/3600"} << T{0} << true << false
                                                         << L{"wait 10 min (HTTP 429)"};
    // Nobody said why: it may come on the next tick; after three tries the site is waited for.
    QTest::newRow("no picture, three tries") << L{"none", "none", "none"} << T{0, 1, 2} << true << false
                                             << L{"again", "again", "wait 10 s (no picture)"};
    // Once the site said why, the page script asks no more: later tries say nothing.
    QTest::newRow("site said why before") << L{"503", "none", "none", "none"} << T{0, 10, 11, 12} << true << false
                                          << L{"wait 10 s (HTTP 503)", "again", "again", "wait 30 s (HTTP 503)"};
    // Waiting would not change an image that is no page.
    QTest::newRow("unusable image") << L{"bad", "bad", "bad"} << T{0, 1, 2} << true << false
                                    << L{"again", "again", "give up, unusable: cut short"};
    QTest::newRow("429 and no connection are waited for") << L{"429", "offline"} << T{0, 10} << true << false
                                                         << L{"wait 10 s (HTTP 429)", "wait 30 s (no connection)"};
    // A file no decoder reads stays so: three tries at the run's pace, then given up, and
    // the site is asked each time (nothing is waited for).
    QTest::newRow("damaged as the site sends it") << L{"damaged", "damaged", "damaged"} << T{0, 1, 2} << true << false
                                                  << L{"again", "again", "give up, damaged"};
    QTest::newRow("an answer that is no image") << L{"404", "404", "404"} << T{0, 1, 2} << true << false
                                                << L{"again", "again", "give up, refused: HTTP 404"};
    // The page is loaded again into a new process; a page that ends it each time is given up.
    QTest::newRow("page process ended") << L{"crash", "crash", "crash"} << T{0, 5, 10} << true << false
                                        << L{"reload", "reload", "give up, page process: crashed"};
    QTest::newRow("page process ended once") << L{"crash", "none", "none"} << T{0, 5, 6} << true << false
                                             << L{"reload", "again", "wait 10 s (no picture)"};
    QTest::newRow("page not known") << L{"503"} << T{0} << false << false << L{"give up"};
    QTest::newRow("second pass") << L{"503"} << T{0} << true << true << L{"give up"};
}

void TestSiteWaitPolicy::decisions()
{
    QFETCH(QStringList, failures);
    QFETCH(QList<int>, atSeconds);
    QFETCH(bool, pageKnown);
    QFETCH(bool, secondPass);
    QFETCH(QStringList, decisions);

    SiteWaitPolicy policy;
    const SiteWaitPolicy::Clock::time_point start{};
    QStringList decided;
    for (int i = 0; i < failures.size(); ++i)
        decided << decisionText(policy.Failed(failureOf(failures[i]), start + std::chrono::seconds(atSeconds[i]), pageKnown, secondPass));
    QCOMPARE(decided, decisions);
}

void TestSiteWaitPolicy::storedPageStartsAfresh()
{
    SiteWaitPolicy policy;
    const SiteWaitPolicy::Clock::time_point start{};
    policy.Failed(failureOf(QStringLiteral("503")), start, true, false);
    policy.Failed(failureOf(QStringLiteral("503")), start + 10s, true, false);
    QVERIFY(policy.SiteSaidWhy());
    policy.Reset(); // the page was stored
    QVERIFY(!policy.SiteSaidWhy());
    QCOMPARE(decisionText(policy.Failed(failureOf(QStringLiteral("503")), start + 1h, true, false)),
             QStringLiteral("wait 10 s (HTTP 503)"));
}

void TestSiteWaitPolicy::retryAfter_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<qint64>("seconds"); // -1: none
    // Now is Sunday, 6 November 1994, 08:49:00 UTC.
    QTest::newRow("seconds") << "120" << qint64(120);
    QTest::newRow("seconds past 64 bits") << "99999999999999999999999" << qint64(86400);
    QTest::newRow("seconds past a day") << "1000000" << qint64(86400);
    QTest::newRow("IMF-fixdate") << "Sun, 06 Nov 1994 08:49:37 GMT" << qint64(37);
    QTest::newRow("RFC 850") << "Sunday, 06-Nov-94 08:49:37 GMT" << qint64(37);
    QTest::newRow("asctime") << "Sun Nov  6 08:49:37 1994" << qint64(37);
    QTest::newRow("asctime, two-digit day, days ahead") << "Thu Nov 10 08:49:00 1994" << qint64(86400);
    QTest::newRow("a date gone by") << "Sat, 05 Nov 1994 08:49:37 GMT" << qint64(0);
    QTest::newRow("no such day") << "Sun, 31 Feb 1994 08:49:37 GMT" << qint64(-1);
    QTest::newRow("negative") << "-5" << qint64(-1);
    QTest::newRow("local time is no HTTP date") << "Sun, 06 Nov 1994 08:49:37 CET" << qint64(-1);
}

void TestSiteWaitPolicy::retryAfter()
{
    QFETCH(QString, value);
    QFETCH(qint64, seconds);
    const QDateTime now(QDate(1994, 11, 6), QTime(8, 49, 0), Qt::UTC);
    const SiteFault fault = ReadSiteFault(QStringLiteral("{\"status\":503,\"retryAfter\":\"%1\"}").arg(value), now);
    QCOMPARE(fault.kind, SiteFault::Down);
    QCOMPARE(fault.retryAfter ? qint64(std::chrono::duration_cast<std::chrono::seconds>(*fault.retryAfter).count()) : qint64(-1),
             seconds);
}

QTEST_GUILESS_MAIN(TestSiteWaitPolicy)
#include "tst_sitewaitpolicy.moc"
