#include "queuepanel.h"

#include "bookqueue.h"
#include "errorreport.h"
#include "windowfont.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { TitleColumn, PagesColumn, StateColumn, ColumnCount };

// About six rows; the activity log below keeps the rest of the panel's height.
constexpr int ListHeight = 120;
// Room beside a button's caption: its frame and a few pixels either side.
constexpr int ButtonPadding = 14;


QPushButton *panelButton(QWidget *parent, const QString &caption, const QString &name)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // The style makes a push button at least 80 px wide, and three of those do not fit in the
    // right-hand panel; the caption with a little room is enough.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(caption) + ButtonPadding);
    return button;
}

// A book the queue can still run: one not started yet or one whose run was stopped.
bool isRunnable(const QueueEntry &entry)
{
    return entry.state == QueueState::Waiting || entry.state == QueueState::Stopped;
}

} // namespace

QString QueueTitleText(const QueueEntry &entry)
{
    if (!entry.title.trimmed().isEmpty())
        return entry.title.trimmed();
    if (!entry.bookId.isEmpty())
        return entry.bookId;
    return entry.url;
}

QString QueuePagesText(const QueueEntry &entry)
{
    const QString count = entry.pages > 0 ? QString::number(entry.pages) : QStringLiteral("?");
    if (entry.range == PageRange{})
        return count;
    return QStringLiteral("%1 of %2").arg(PageRangeText(entry.range), count);
}

QString QueueToolTipText(const QueueEntry &entry)
{
    if (entry.message.isEmpty())
        return entry.url;
    return entry.message + QLatin1Char('\n') + entry.url;
}

TQueuePanel::TQueuePanel(BookQueue *queue, QWidget *parent) : QWidget(parent), m_queue(queue)
{
    setFont(WindowFont(11));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    m_caption = new QLabel(QStringLiteral("Queue"), this);
    m_caption->setFont(WindowFont(13, true));
    layout->addWidget(m_caption);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("queuelist"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Pages"), QStringLiteral("State")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setFixedHeight(ListHeight);
    QHeaderView *header = m_list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(TitleColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(PagesColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(StateColumn, QHeaderView::ResizeToContents);
    layout->addWidget(m_list);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    m_addButton = panelButton(this, QStringLiteral("Add to queue"), QStringLiteral("addtoqueuebtn"));
    m_removeButton = panelButton(this, QStringLiteral("Remove"), QStringLiteral("removequeuebtn"));
    m_runButton = panelButton(this, QStringLiteral("Run queue"), QStringLiteral("runqueuebtn"));
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_removeButton);
    buttons->addWidget(m_runButton);
    layout->addLayout(buttons);

    connect(m_addButton, &QPushButton::clicked, this, Guarded([this](bool) { emit addRequested(); }));
    connect(m_removeButton, &QPushButton::clicked, this, Guarded([this](bool) { removeSelected(); }));
    connect(m_runButton, &QPushButton::clicked, this, Guarded([this](bool) { emit runRequested(); }));
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { RunGuarded([this] { updateButtons(); }); });
    if (m_queue) {
        connect(m_queue, &BookQueue::changed, this, [this] { RunGuarded([this] { refresh(); }); });
        // A queue that goes first leaves nothing to show.
        connect(m_queue, &QObject::destroyed, this, [this] { RunGuarded([this] { refresh(); }); });
    }
    refresh();
}

void TQueuePanel::setAddEnabled(bool enabled)
{
    m_addButton->setEnabled(enabled);
}

void TQueuePanel::setRunEnabled(bool enabled)
{
    m_runEnabled = enabled;
    updateButtons();
}

void TQueuePanel::removeSelected()
{
    if (!m_queue)
        return;
    QList<int> rows;
    for (QTreeWidgetItem *item : m_list->selectedItems())
        rows << m_list->indexOfTopLevelItem(item);
    // From the last row up, so the rows still to remove keep their places.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : std::as_const(rows)) {
        if (row >= 0 && row < m_queue->size() && m_queue->entries()[row].state != QueueState::Running)
            m_queue->remove(row);
    }
}

// Rows are updated where they stand, so a change of state keeps the selection and the
// scroll position; when the queue gets shorter the rows no longer hold the books that were
// selected, and the selection goes.
void TQueuePanel::refresh()
{
    const QList<QueueEntry> entries = m_queue ? m_queue->entries() : QList<QueueEntry>{};
    const int count = int(entries.size());
    if (count < m_list->topLevelItemCount()) {
        m_list->clearSelection();
        while (m_list->topLevelItemCount() > count)
            delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);
    }
    for (int row = 0; row < count; ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (!item) {
            item = new QTreeWidgetItem;
            item->setTextAlignment(PagesColumn, Qt::AlignRight | Qt::AlignVCenter);
            m_list->addTopLevelItem(item);
        }
        const QueueEntry &entry = entries[row];
        item->setText(TitleColumn, QueueTitleText(entry));
        item->setText(PagesColumn, QueuePagesText(entry));
        item->setText(StateColumn, QueueStateWord(entry.state));
        const QString tip = QueueToolTipText(entry);
        for (int column = 0; column < ColumnCount; ++column)
            item->setToolTip(column, tip);
    }
    updateButtons();
}

void TQueuePanel::updateButtons()
{
    const QList<QueueEntry> entries = m_queue ? m_queue->entries() : QList<QueueEntry>{};
    bool removable = false;
    for (QTreeWidgetItem *item : m_list->selectedItems()) {
        const int row = m_list->indexOfTopLevelItem(item);
        if (row >= 0 && row < entries.size() && entries[row].state != QueueState::Running)
            removable = true;
    }
    m_removeButton->setEnabled(removable);
    m_runButton->setEnabled(m_runEnabled && std::any_of(entries.begin(), entries.end(), isRunnable));
}
