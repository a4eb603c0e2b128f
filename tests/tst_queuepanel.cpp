#include "queuepanel.h"

#include "bookqueue.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The window's queue panel against a real queue: its rows follow the queue, and its buttons.
class TestQueuePanel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowTexts_data();
    void rowTexts();
    void rowsFollowQueue();
    void showsLoadedQueue();
    void remove_data();
    void remove();
    void removeFollowsStateOfSelected();
    void selectionNeverPassesToAnotherBook();
    void runButton_data();
    void runButton();
    void buttonsEmitRequests();
    void queueGoneFirst();

private:
    QTreeWidget *list() const { return m_panel->findChild<QTreeWidget *>(QStringLiteral("queuelist")); }
    QPushButton *button(const char *name) const { return m_panel->findChild<QPushButton *>(QLatin1String(name)); }
    // Each row as "title|pages|state".
    QStringList rows() const;
    void select(const QList<int> &rows);

    std::unique_ptr<BookQueue> m_queue;
    std::unique_ptr<TQueuePanel> m_panel;
};

namespace {

QueueEntry book(const QString &id)
{
    QueueEntry entry;
    entry.url = QStringLiteral("http://127.0.0.1/cgi/pt?id=%1").arg(id);
    entry.bookId = id;
    entry.title = QStringLiteral("Title of %1").arg(id);
    entry.pages = 12;
    return entry;
}

// Queues one book per state word, named a, b, c ... in order.
void queueBooks(BookQueue &queue, const QStringList &states)
{
    for (int i = 0; i < states.size(); ++i) {
        QVERIFY(queue.add(book(QString(QChar(u'a' + i)))));
        const std::optional<QueueState> state = QueueStateFromWord(states[i]);
        QVERIFY2(state, qPrintable(states[i]));
        queue.setState(i, *state);
    }
}

} // namespace

void TestQueuePanel::init()
{
    m_queue = std::make_unique<BookQueue>();
    m_panel = std::make_unique<TQueuePanel>(m_queue.get());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

void TestQueuePanel::cleanup()
{
    m_panel.reset();
    m_queue.reset();
}

QStringList TestQueuePanel::rows() const
{
    QStringList lines;
    for (int i = 0; i < list()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list()->topLevelItem(i);
        lines << QStringLiteral("%1|%2|%3").arg(item->text(0), item->text(1), item->text(2));
    }
    return lines;
}

void TestQueuePanel::select(const QList<int> &rows)
{
    list()->clearSelection();
    for (int row : rows)
        list()->topLevelItem(row)->setSelected(true);
}

void TestQueuePanel::rowTexts_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("bookId");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("row");

    const QString url = QStringLiteral("http://127.0.0.1/cgi/pt?id=x1");
    QTest::newRow("title") << "A Book" << "x1" << 300 << "" << "A Book|300|waiting";
    QTest::newRow("blank title: the id") << "  " << "x1" << 300 << "" << "x1|300|waiting";
    QTest::newRow("no title nor id: the address") << "" << "" << 300 << "" << url + "|300|waiting";
    QTest::newRow("count not known") << "A Book" << "x1" << 0 << "" << "A Book|?|waiting";
    QTest::newRow("range") << "A Book" << "x1" << 300 << "10-50" << "A Book|10-50 of 300|waiting";
    QTest::newRow("range, count not known") << "A Book" << "x1" << 0 << "10-50" << "A Book|10-50 of ?|waiting";
    QTest::newRow("open end") << "A Book" << "x1" << 300 << "10-" << "A Book|10- of 300|waiting";
    QTest::newRow("one page") << "A Book" << "x1" << 300 << "7" << "A Book|7 of 300|waiting";
}

void TestQueuePanel::rowTexts()
{
    QFETCH(QString, title);
    QFETCH(QString, bookId);
    QFETCH(int, pages);
    QFETCH(QString, range);
    QFETCH(QString, row);

    QueueEntry entry;
    entry.url = QStringLiteral("http://127.0.0.1/cgi/pt?id=x1");
    entry.bookId = bookId;
    entry.title = title;
    entry.pages = pages;
    const std::optional<PageRange> parsed = ParsePageRange(range);
    QVERIFY(parsed);
    entry.range = *parsed;
    QVERIFY(m_queue->add(entry));

    QCOMPARE(rows(), QStringList{row});
}

void TestQueuePanel::rowsFollowQueue()
{
    QCOMPARE(rows(), QStringList{});

    QVERIFY(m_queue->add(book(QStringLiteral("a"))));
    QVERIFY(m_queue->add(book(QStringLiteral("b"))));
    QCOMPARE(rows(), (QStringList{"Title of a|12|waiting", "Title of b|12|waiting"}));

    m_queue->setState(1, QueueState::Failed, QStringLiteral("Page 3 did not load"));
    QCOMPARE(rows(), (QStringList{"Title of a|12|waiting", "Title of b|12|failed"}));
    for (int column = 0; column < 3; ++column)
        QCOMPARE(list()->topLevelItem(1)->toolTip(column),
                 QStringLiteral("Page 3 did not load\nhttp://127.0.0.1/cgi/pt?id=b"));
    QCOMPARE(list()->topLevelItem(0)->toolTip(0), QStringLiteral("http://127.0.0.1/cgi/pt?id=a"));

    m_queue->setState(1, QueueState::Waiting);
    QCOMPARE(list()->topLevelItem(1)->toolTip(0), QStringLiteral("http://127.0.0.1/cgi/pt?id=b"));

    m_queue->remove(0);
    QCOMPARE(rows(), QStringList{"Title of b|12|waiting"});
    m_queue->remove(0);
    QCOMPARE(rows(), QStringList{});
}

// The queue of the last session, read from its file: a book that was running when that
// program ended comes back stopped.
void TestQueuePanel::showsLoadedQueue()
{
    const QString file = QDir(TestEnv::home()).filePath(QStringLiteral("queue.json"));
    {
        BookQueue last;
        QCOMPARE(last.load(file), QString());
        QVERIFY(last.add(book(QStringLiteral("a"))));
        QVERIFY(last.add(book(QStringLiteral("b"))));
        last.setState(0, QueueState::Done);
        last.setState(1, QueueState::Running);
        QCOMPARE(last.saveError(), QString());
    }
    QCOMPARE(m_queue->load(file), QString());
    QCOMPARE(rows(), (QStringList{"Title of a|12|done", "Title of b|12|stopped"}));
    QVERIFY(button("runqueuebtn")->isEnabled());
}

void TestQueuePanel::remove_data()
{
    QTest::addColumn<QStringList>("states"); // books a, b, c ... in these states
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("left"); // the titles' last letters after Remove is pressed

    QTest::newRow("nothing selected") << QStringList{"waiting", "done"} << QList<int>{} << false
                                      << QStringList{"a", "b"};
    QTest::newRow("one") << QStringList{"waiting", "done"} << QList<int>{0} << true << QStringList{"b"};
    QTest::newRow("rows apart") << QStringList{"waiting", "done", "failed", "stopped"} << QList<int>{0, 2} << true
                                << QStringList{"b", "d"};
    QTest::newRow("all but the running one") << QStringList{"done", "running", "stopped"} << QList<int>{0, 1, 2}
                                             << true << QStringList{"b"};
    QTest::newRow("only the running one") << QStringList{"waiting", "running"} << QList<int>{1} << false
                                          << QStringList{"a", "b"};
}

void TestQueuePanel::remove()
{
    QFETCH(QStringList, states);
    QFETCH(QList<int>, selected);
    QFETCH(bool, enabled);
    QFETCH(QStringList, left);

    queueBooks(*m_queue, states);
    select(selected);
    QPushButton *remove = button("removequeuebtn");
    QCOMPARE(remove->isEnabled(), enabled);

    QTest::mouseClick(remove, Qt::LeftButton);
    QStringList kept;
    for (const QueueEntry &entry : m_queue->entries())
        kept << entry.bookId;
    QCOMPARE(kept, left);
    QCOMPARE(list()->topLevelItemCount(), left.size());
}

// A selected book that starts running can no longer be removed, and one that ends can again.
void TestQueuePanel::removeFollowsStateOfSelected()
{
    queueBooks(*m_queue, {"waiting", "waiting"});
    select({1});
    QPushButton *remove = button("removequeuebtn");
    QVERIFY(remove->isEnabled());

    m_queue->setState(1, QueueState::Running);
    QVERIFY(list()->topLevelItem(1)->isSelected());
    QVERIFY(!remove->isEnabled());

    m_queue->setState(1, QueueState::Done);
    QVERIFY(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(rows(), QStringList{"Title of a|12|waiting"});
    QVERIFY(list()->selectedItems().isEmpty());
    QVERIFY(!remove->isEnabled());
}

// A book removed from the queue elsewhere (by the window) must not hand the selection to the
// book that moves up into its row, or Remove would take a book the user did not pick.
void TestQueuePanel::selectionNeverPassesToAnotherBook()
{
    queueBooks(*m_queue, {"waiting", "waiting", "waiting"});
    select({1});
    m_queue->remove(0);
    QCOMPARE(rows(), (QStringList{"Title of b|12|waiting", "Title of c|12|waiting"}));
    for (const QTreeWidgetItem *item : list()->selectedItems())
        QCOMPARE(item->text(0), QStringLiteral("Title of b"));

    QTest::mouseClick(button("removequeuebtn"), Qt::LeftButton);
    QVERIFY(m_queue->indexOfPending(book(QStringLiteral("c"))) >= 0);
}

void TestQueuePanel::runButton_data()
{
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QList<bool>>("runEnabled"); // the window's calls, in order
    QTest::addColumn<bool>("enabled");

    const QList<bool> none;
    QTest::newRow("empty queue") << QStringList{} << none << false;
    QTest::newRow("a waiting book") << QStringList{"done", "waiting"} << none << true;
    QTest::newRow("a stopped book") << QStringList{"failed", "stopped"} << none << true;
    QTest::newRow("nothing left to run") << QStringList{"done", "failed", "running"} << none << false;
    QTest::newRow("a download runs") << QStringList{"waiting"} << QList<bool>{false} << false;
    QTest::newRow("the download ended") << QStringList{"waiting"} << QList<bool>{false, true} << true;
    QTest::newRow("allowed, nothing to run") << QStringList{"done"} << QList<bool>{true} << false;
}

void TestQueuePanel::runButton()
{
    QFETCH(QStringList, states);
    QFETCH(QList<bool>, runEnabled);
    QFETCH(bool, enabled);

    for (bool allowed : runEnabled)
        m_panel->setRunEnabled(allowed);
    queueBooks(*m_queue, states);
    QCOMPARE(button("runqueuebtn")->isEnabled(), enabled);

    // The same when the window's word comes after the queue has its books.
    TQueuePanel late(m_queue.get());
    for (bool allowed : runEnabled)
        late.setRunEnabled(allowed);
    QCOMPARE(late.findChild<QPushButton *>(QStringLiteral("runqueuebtn"))->isEnabled(), enabled);
}

void TestQueuePanel::buttonsEmitRequests()
{
    queueBooks(*m_queue, {"waiting"});
    QSignalSpy added(m_panel.get(), &TQueuePanel::addRequested);
    QSignalSpy run(m_panel.get(), &TQueuePanel::runRequested);

    QTest::mouseClick(button("addtoqueuebtn"), Qt::LeftButton);
    QCOMPARE(added.count(), 1);
    QCOMPARE(run.count(), 0);
    QTest::mouseClick(button("runqueuebtn"), Qt::LeftButton);
    QCOMPARE(run.count(), 1);
    QCOMPARE(added.count(), 1);

    m_panel->setAddEnabled(false);
    QTest::mouseClick(button("addtoqueuebtn"), Qt::LeftButton);
    QCOMPARE(added.count(), 1);
    m_panel->setAddEnabled(true);
    QTest::mouseClick(button("addtoqueuebtn"), Qt::LeftButton);
    QCOMPARE(added.count(), 2);
    // The panel only asks; the window adds.
    QCOMPARE(m_queue->size(), 1);
}

void TestQueuePanel::queueGoneFirst()
{
    queueBooks(*m_queue, {"waiting", "done"});
    select({0});
    m_queue.reset();
    QCOMPARE(rows(), QStringList{});
    QVERIFY(!button("runqueuebtn")->isEnabled());
    QVERIFY(!button("removequeuebtn")->isEnabled());
}

QM_TEST_MAIN(TestQueuePanel)
#include "tst_queuepanel.moc"
