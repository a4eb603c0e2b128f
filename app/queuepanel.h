#pragma once

#include <QWidget>

class BookQueue;
class QPushButton;
class QTreeWidget;

// The book queue in the window's right-hand panel: one row per book (title, pages, state), with
// "Add to queue" for the book on display, "Remove" for the books selected and "Run queue". The
// window decides what is added and runs the queue; the panel shows the queue it is given.
class TQueuePanel : public QWidget
{
    Q_OBJECT
public:
    explicit TQueuePanel(BookQueue &queue, QWidget *parent = nullptr);

    void setAddEnabled(bool enabled);
    // Run queue is offered when this is on and a book waits (or was stopped).
    void setRunEnabled(bool enabled);

    QTreeWidget *list = nullptr;
    QPushButton *addbtn = nullptr;
    QPushButton *removebtn = nullptr;
    QPushButton *runbtn = nullptr;

signals:
    void addRequested();
    void runRequested();

private:
    void refresh();
    void removeSelected();
    void updateButtons();

    BookQueue &m_queue;
    bool m_runEnabled = true;
};
