#include "queuepanel.h"

#include "bookqueue.h"
#include "errorreport.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {
QString pagesText(const QueueEntry &entry)
{
    const QString count = entry.pages > 0 ? QString::number(entry.pages) : QStringLiteral("?");
    if (entry.range == PageRange())
        return count;
    return QStringLiteral("%1 of %2").arg(PageRangeText(entry.range), count);
}

bool runnable(const QueueEntry &entry)
{
    return entry.state == QueueState::Waiting || entry.state == QueueState::Stopped;
}
} // namespace

TQueuePanel::TQueuePanel(BookQueue &queue, QWidget *parent) : QWidget(parent), m_queue(queue)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(new QLabel(QStringLiteral("Queue"), this));
    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("queuelist"));
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Pages"), QStringLiteral("State")});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    list->setFixedHeight(110);
    layout->addWidget(list);
    auto *buttons = new QHBoxLayout;
    addbtn = new QPushButton(QStringLiteral("Add to queue"), this);
    addbtn->setObjectName(QStringLiteral("addtoqueuebtn"));
    addbtn->setToolTip(QStringLiteral("Queue the book on display, with the pages From / To ask for"));
    removebtn = new QPushButton(QStringLiteral("Remove"), this);
    removebtn->setObjectName(QStringLiteral("removequeuebtn"));
    runbtn = new QPushButton(QStringLiteral("Run queue"), this);
    runbtn->setObjectName(QStringLiteral("runqueuebtn"));
    runbtn->setToolTip(QStringLiteral("Download the queued books one after another, each into a PDF of its own"));
    buttons->setSpacing(2);
    // The panel keeps the width the right-hand side has; the buttons share it.
    for (QPushButton *button : {addbtn, removebtn, runbtn}) {
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        buttons->addWidget(button, button == removebtn ? 2 : 3);
    }
    list->setMinimumWidth(60);
    layout->addLayout(buttons);

    connect(addbtn, &QPushButton::clicked, this, [this] { emit addRequested(); });
    connect(runbtn, &QPushButton::clicked, this, [this] { emit runRequested(); });
    connect(removebtn, &QPushButton::clicked, this, Guarded([this](bool) { removeSelected(); }));
    connect(list, &QTreeWidget::itemSelectionChanged, this, &TQueuePanel::updateButtons);
    connect(&m_queue, &BookQueue::changed, this, &TQueuePanel::refresh);
    addbtn->setEnabled(false);
    refresh();
}

void TQueuePanel::setAddEnabled(bool enabled)
{
    addbtn->setEnabled(enabled);
}

void TQueuePanel::setRunEnabled(bool enabled)
{
    m_runEnabled = enabled;
    updateButtons();
}

void TQueuePanel::refresh()
{
    list->clear();
    for (const QueueEntry &entry : m_queue.entries()) {
        const QString title = !entry.title.isEmpty() ? entry.title : !entry.bookId.isEmpty() ? entry.bookId : entry.url;
        auto *item = new QTreeWidgetItem(list, {title, pagesText(entry), QueueStateWord(entry.state)});
        const QString tip = entry.message.isEmpty() ? entry.url : entry.message + QLatin1Char('\n') + entry.url;
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, tip);
    }
    updateButtons();
}

void TQueuePanel::removeSelected()
{
    QList<int> rows;
    for (QTreeWidgetItem *item : list->selectedItems())
        rows << list->indexOfTopLevelItem(item);
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows) {
        // The book being downloaded stays: Stop ends its run first.
        if (row >= 0 && row < m_queue.size() && m_queue.entries().at(row).state != QueueState::Running)
            m_queue.remove(row);
    }
}

void TQueuePanel::updateButtons()
{
    bool removable = false;
    for (QTreeWidgetItem *item : list->selectedItems()) {
        const int row = list->indexOfTopLevelItem(item);
        if (row >= 0 && row < m_queue.size() && m_queue.entries().at(row).state != QueueState::Running)
            removable = true;
    }
    removebtn->setEnabled(removable);
    bool waiting = false;
    for (const QueueEntry &entry : m_queue.entries())
        waiting = waiting || runnable(entry);
    runbtn->setEnabled(m_runEnabled && waiting);
}
