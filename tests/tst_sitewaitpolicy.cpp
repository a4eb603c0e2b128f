// What a run does about a page whose image does not come, as the policy decides it: a table of
// failures of one page in a row, each at its time, with the decision for each.
#include "sitewaitpolicy.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

// "503" (the site's answer, Retry-After after a slash: "503/40"), "none" (no picture, nobody
// said why), "bad" (an image that cannot be the page).
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
    failure.kind = PageFailure::SiteSaid;
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
    case SiteWaitPolicy::Decision::Wait:
        return QStringLiteral("wait %1 (%2)").arg(WaitText(decision.wait), decision.why);
    case SiteWaitPolicy::Decision::GiveUp:
        return decision.unusable.isEmpty() ? QStringLiteral("give up") : QStringLiteral("give up: ") + decision.unusable;
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
                                    << L{"again", "again", "give up: cut short"};
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

QTEST_GUILESS_MAIN(TestSiteWaitPolicy)
#include "tst_sitewaitpolicy.moc"
