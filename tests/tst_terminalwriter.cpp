// What a run without a window says of a book's end on a terminal: once, in the terminal's
// own words, with the PDF's path alone on the output stream.
#include "terminalwriter.h"

#include <QtTest>

class TestTerminalWriter : public QObject
{
    Q_OBJECT
private slots:
    void bookEnd_data();
    void bookEnd();
};

void TestTerminalWriter::bookEnd_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("viewerLeft");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("output");
    const QString left = QStringLiteral("The viewer left the book");
    QTest::newRow("viewer left the book") << int(RunOutcome::LeftBook) << left << true
                                          << QStringList{"b.1: The viewer left the book; run it again to go on at the first page not stored"}
                                          << QStringList();
    QTest::newRow("another book") << int(RunOutcome::LeftBook) << QStringLiteral("The viewer shows another book") << false
                                  << QStringList{"b.1: The viewer shows another book; run it again to go on at the first page not stored"}
                                  << QStringList();
    QTest::newRow("failed") << int(RunOutcome::Failed) << QStringLiteral("Cannot write file \"x\": No space left on device") << false
                            << QStringList{"b.1: Cannot write file \"x\": No space left on device"} << QStringList();
    QTest::newRow("complete") << int(RunOutcome::Complete) << QString() << false << QStringList{"b.1: done: /out/b.1.pdf"}
                              << QStringList{"/out/b.1.pdf"};
}

void TestTerminalWriter::bookEnd()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);
    QFETCH(bool, viewerLeft);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, output);
    QStringList saidErrors, saidOutput;
    TerminalWriter writer([&](const QString &line) { saidErrors << line; }, [&](const QString &line) { saidOutput << line; });
    RunOutcome outcome;
    outcome.kind = RunOutcome::Kind(kind);
    outcome.reason = reason;
    if (outcome.kind == RunOutcome::Complete)
        outcome.pdfPath = QStringLiteral("/out/b.1.pdf");
    QueueEntry entry;
    entry.bookId = QStringLiteral("b.1");
    // The run's end, then the book's, as a run without a window hears them.
    writer.Write(RunEvents::Ended{outcome, viewerLeft});
    writer.BookEnded(entry, outcome);
    QCOMPARE(saidErrors, errors);
    QCOMPARE(saidOutput, output);
}

QTEST_GUILESS_MAIN(TestTerminalWriter)
#include "tst_terminalwriter.moc"
