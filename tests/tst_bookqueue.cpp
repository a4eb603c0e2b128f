#include "bookqueue.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QueueEntry)

// The queue of books: its rules, and its file read back by a new queue as the next session does.
class TestBookQueue : public QObject
{
    Q_OBJECT
private slots:
    void load_data();
    void load();
    void keptAcrossSessions();
    void damagedFileKeptUntilChanged();
    void add_data();
    void add();
    void nextWaitingAndStates();
    void saveFailureReported();
};

namespace {

QueueEntry book(const QString &id, QueueState state = QueueState::Waiting)
{
    QueueEntry entry;
    entry.url = QStringLiteral("http://127.0.0.1/cgi/pt?id=%1").arg(id);
    entry.bookId = id;
    entry.title = QStringLiteral("Title of %1").arg(id);
    entry.state = state;
    return entry;
}

// One line per entry with every field the program reads.
QStringList described(const QList<QueueEntry> &entries)
{
    QStringList lines;
    for (const QueueEntry &e : entries)
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                     .arg(e.url, e.bookId, e.title)
                     .arg(e.pages)
                     .arg(PageRangeText(e.range), QueueStateWord(e.state), e.message);
    return lines;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestBookQueue::load_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("problem"); // the start of the reason; empty: none

    const QStringList none;
    const QString damaged = QStringLiteral("The queue file %1 is damaged");
    QTest::newRow("no file") << QByteArray() << none << "";
    QTest::newRow("empty list") << QByteArray(R"({"books": []})") << none << "";
    QTest::newRow("empty file") << QByteArray("") << none << damaged;
    QTest::newRow("cut off") << QByteArray(R"({"books": [{"url": "http://x/cgi/pt?id=a")") << none << damaged;
    QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n") << none << damaged;
    QTest::newRow("a list at the top") << QByteArray(R"([{"url": "u"}])") << none << damaged;
    QTest::newRow("books not a list") << QByteArray(R"({"books": {"url": "u"}})") << none << damaged;
    QTest::newRow("every field")
        << QByteArray(R"({"books": [{"url": "http://x/cgi/pt?id=a", "id": "a", "title": "Über A", "pages": 88,
                         "range": "10-50", "state": "failed", "message": "Page 3 never loaded"}]})")
        << QStringList{"http://x/cgi/pt?id=a|a|Über A|88|10-50|failed|Page 3 never loaded"} << "";
    QTest::newRow("only the address")
        << QByteArray(R"({"books": [{"url": "http://x/cgi/pt?id=a"}]})")
        << QStringList{"http://x/cgi/pt?id=a|||0||stopped|"} << "";
    QTest::newRow("each state word")
        << QByteArray(R"({"books": [{"url": "u1", "state": "waiting"}, {"url": "u2", "state": "done"},
                         {"url": "u3", "state": "stopped"}, {"url": "u4", "state": "failed"}]})")
        << QStringList{"u1|||0||waiting|", "u2|||0||done|", "u3|||0||stopped|", "u4|||0||failed|"} << "";
    QTest::newRow("running when the program ended")
        << QByteArray(R"({"books": [{"url": "u", "state": "running", "message": "Save page 4 / 9 ..."}]})")
        << QStringList{"u|||0||stopped|The program ended during the download"} << "";
    QTest::newRow("a state of a later version")
        << QByteArray(R"({"books": [{"url": "u", "state": "paused", "message": "m"}]})")
        << QStringList{"u|||0||stopped|m"} << "";
    QTest::newRow("state in capitals is unknown")
        << QByteArray(R"({"books": [{"url": "u", "state": "WAITING"}]})") << QStringList{"u|||0||stopped|"} << "";
    QTest::newRow("unknown fields")
        << QByteArray(R"({"version": 7, "books": [{"url": "u", "state": "waiting", "priority": 3, "tags": ["x"]}]})")
        << QStringList{"u|||0||waiting|"} << "";
    QTest::newRow("pages of the wrong kind")
        << QByteArray(R"({"books": [{"url": "u1", "pages": -5, "state": "waiting"}, {"url": "u2", "pages": "88", "state": "waiting"}]})")
        << QStringList{"u1|||0||waiting|", "u2|||0||waiting|"} << "";
    QTest::newRow("range that cannot be read")
        << QByteArray(R"({"books": [{"url": "u", "range": "50-10", "state": "waiting"}]})")
        << QStringList{"u|||0||failed|The range 50-10 ends before it starts"} << "";
    QTest::newRow("bad range of a finished book")
        << QByteArray(R"({"books": [{"url": "u", "range": "x", "state": "done", "message": "Saved"}]})")
        << QStringList{"u|||0||done|Saved"} << "";
    QTest::newRow("entries without an address")
        << QByteArray(R"({"books": [{"title": "t"}, 5, {"url": "u", "state": "waiting"}, {"url": "  "}]})")
        << QStringList{"u|||0||waiting|"} << "3 of the books in the queue file %1 had no address and were left out";
}

void TestBookQueue::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(QString, problem);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("queue.json"));
    if (!content.isNull())
        QVERIFY(writeFile(file, content));
    BookQueue queue;
    QSignalSpy changed(&queue, &BookQueue::changed);
    const QString reason = queue.load(file);
    QCOMPARE(described(queue.entries()), entries);
    if (problem.isEmpty())
        QCOMPARE(reason, QString());
    else
        QVERIFY2(reason.startsWith(problem.arg(file)), qPrintable(reason));
    QCOMPARE(changed.count(), 1);
}

void TestBookQueue::keptAcrossSessions()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("queue.json"));
    // A field of a later version in the file survives this version's changes.
    const QByteArray earlier(R"({"books": [{"url": "http://x/cgi/pt?id=a", "id": "a", "state": "waiting", "priority": 3}]})");
    QVERIFY(writeFile(file, earlier));
    {
        BookQueue queue;
        QCOMPARE(queue.load(file), QString());
        QueueEntry second = book(QStringLiteral("b"));
        second.pages = 120;
        second.range = PageRange{10, 0};
        QVERIFY(queue.add(second));
        QVERIFY(queue.add(book(QStringLiteral("c"))));
        queue.setState(0, QueueState::Done, QStringLiteral("Saved /tmp/a.pdf"));
        queue.setState(1, QueueState::Running, QStringLiteral("Save page 12 / 120 ..."));
        queue.remove(2);
        QCOMPARE(queue.saveError(), QString());
    }
    // Written atomically: the file alone, no temporary left beside it.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"queue.json"});
    const QJsonObject first = QJsonDocument::fromJson(readFile(file)).object().value("books").toArray().at(0).toObject();
    QCOMPARE(first.value("priority").toInt(), 3);
    QCOMPARE(first.value("state").toString(), QStringLiteral("done"));

    BookQueue next;
    QCOMPARE(next.load(file), QString());
    QCOMPARE(described(next.entries()),
             (QStringList{"http://x/cgi/pt?id=a|a||0||done|Saved /tmp/a.pdf",
                          "http://127.0.0.1/cgi/pt?id=b|b|Title of b|120|10-|stopped|The program ended during the download"}));
}

void TestBookQueue::damagedFileKeptUntilChanged()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("queue.json"));
    const QByteArray damaged(R"({"books": [{"url": "u", "sta)");
    QVERIFY(writeFile(file, damaged));
    BookQueue queue;
    QVERIFY(!queue.load(file).isEmpty());
    QCOMPARE(readFile(file), damaged); // still there for the user to look at
    QVERIFY(queue.add(book(QStringLiteral("a"))));
    BookQueue next;
    QCOMPARE(next.load(file), QString());
    QCOMPARE(next.size(), 1);
}

void TestBookQueue::add_data()
{
    QTest::addColumn<QList<QueueEntry>>("queued");
    QTest::addColumn<QueueEntry>("added");
    QTest::addColumn<bool>("isAdded");

    const QueueEntry a = book(QStringLiteral("a"));
    QueueEntry aOtherPage = a;
    aOtherPage.url += QStringLiteral("&seq=40");
    QueueEntry noIdX = book(QString());
    noIdX.url = QStringLiteral("http://127.0.0.1/cgi/pt?id=x");
    QueueEntry noIdY = noIdX;
    noIdY.url = QStringLiteral("http://127.0.0.1/cgi/pt?id=y");

    QTest::newRow("empty queue") << QList<QueueEntry>{} << a << true;
    QTest::newRow("another book") << QList<QueueEntry>{book(QStringLiteral("b"))} << a << true;
    QTest::newRow("same book waiting") << QList<QueueEntry>{a} << a << false;
    QTest::newRow("same book at another page") << QList<QueueEntry>{a} << aOtherPage << false;
    QTest::newRow("same book running") << QList<QueueEntry>{book(QStringLiteral("a"), QueueState::Running)} << a << false;
    QTest::newRow("same book stopped") << QList<QueueEntry>{book(QStringLiteral("a"), QueueState::Stopped)} << a << false;
    QTest::newRow("same book failed") << QList<QueueEntry>{book(QStringLiteral("a"), QueueState::Failed)} << a << false;
    QTest::newRow("same book done: again") << QList<QueueEntry>{book(QStringLiteral("a"), QueueState::Done)} << a << true;
    QTest::newRow("without ids: same address") << QList<QueueEntry>{noIdX} << noIdX << false;
    QTest::newRow("without ids: other address") << QList<QueueEntry>{noIdX} << noIdY << true;
}

void TestBookQueue::add()
{
    QFETCH(QList<QueueEntry>, queued);
    QFETCH(QueueEntry, added);
    QFETCH(bool, isAdded);

    BookQueue queue;
    for (const QueueEntry &entry : queued)
        QVERIFY(queue.add(entry));
    QSignalSpy changed(&queue, &BookQueue::changed);
    QCOMPARE(queue.add(added), isAdded);
    QCOMPARE(queue.size(), queued.size() + (isAdded ? 1 : 0));
    QCOMPARE(changed.count(), isAdded ? 1 : 0);
}

void TestBookQueue::nextWaitingAndStates()
{
    BookQueue queue;
    QCOMPARE(queue.nextWaiting(), -1);
    for (const QString id : {"a", "b", "c"})
        queue.add(book(id));
    QCOMPARE(queue.nextWaiting(), 0);
    queue.setState(0, QueueState::Running);
    QCOMPARE(queue.nextWaiting(), 1);
    queue.setState(0, QueueState::Done, QStringLiteral("Saved"));
    queue.setState(1, QueueState::Failed, QStringLiteral("The book could not be opened"));
    QCOMPARE(queue.nextWaiting(), 2);
    queue.remove(2);
    QCOMPARE(queue.nextWaiting(), -1);
    queue.setState(1, QueueState::Waiting);
    QCOMPARE(queue.nextWaiting(), 1);
    QCOMPARE(queue.entries().at(1).message, QString());
    // Out of range: nothing happens.
    queue.remove(7);
    queue.setState(-1, QueueState::Done);
    QCOMPARE(queue.size(), 2);
}

void TestBookQueue::saveFailureReported()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("gone/queue.json"));
    BookQueue queue;
    QCOMPARE(queue.load(file), QString());
    QSignalSpy failed(&queue, &BookQueue::saveFailed);
    QVERIFY(queue.add(book(QStringLiteral("a"))));
    QCOMPARE(failed.count(), 1);
    QVERIFY2(failed.at(0).at(0).toString().startsWith(QStringLiteral("The queue could not be saved to %1: ").arg(file)),
             qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(queue.saveError(), failed.at(0).at(0).toString());
    QCOMPARE(queue.size(), 1); // the queue goes on in memory

    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("gone")));
    queue.setState(0, QueueState::Done);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(queue.saveError(), QString());
}

QM_TEST_MAIN(TestBookQueue)
#include "tst_bookqueue.moc"
