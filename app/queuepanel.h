#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class BookQueue;
class QLabel;
class QPushButton;
class QTreeWidget;
struct QueueEntry;

// The book queue in the window's right-hand panel: one row per queued book (title, pages,
// state) and the buttons to add the book on display, remove books and run the queue. The
// panel shows the queue it is given and follows its changes; what is added and when the queue
// runs is the window's to decide, through addRequested() and runRequested().
class TQueuePanel : public QWidget
{
    Q_OBJECT
public:
    // The queue is not owned and may go before the panel; the panel is then empty.
    explicit TQueuePanel(BookQueue *queue, QWidget *parent = nullptr);

    // Whether "Add to queue" can be pressed (the window allows it while a book is on display).
    void setAddEnabled(bool enabled);
    // Whether the queue may be run now (the window forbids it while a download runs). "Run
    // queue" is enabled when this was last given true and the queue has a book to run.
    void setRunEnabled(bool enabled);

signals:
    void addRequested();
    void runRequested();

private:
    // Removes the selected books from the queue, but never one that is running.
    void removeSelected();
    void refresh();
    void updateButtons();

    QPointer<BookQueue> m_queue;
    bool m_runEnabled = true;

    QLabel *m_caption = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_removeButton = nullptr;
    QPushButton *m_runButton = nullptr;
};

// The queue list's texts for an entry: its title (the book id, then the address, when it has
// none), its pages ("300", "10-50 of 300", "?" when not known) and the tooltip of its row.
QString QueueTitleText(const QueueEntry &entry);
QString QueuePagesText(const QueueEntry &entry);
QString QueueToolTipText(const QueueEntry &entry);
