#pragma once

#include "pagerange.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

// Where a queued book stands. Kept in the queue file as the lowercase word.
enum class QueueState { Waiting, Running, Done, Stopped, Failed };

QString QueueStateWord(QueueState state);
std::optional<QueueState> QueueStateFromWord(const QString &word);

// One book in the queue.
struct QueueEntry
{
    QString url;    // the viewer address the run opens
    QString bookId; // the book's id; books are told apart by it (by url when it is empty)
    QString title;
    int pages = 0;  // the book's page count; 0 not known
    PageRange range;
    QueueState state = QueueState::Waiting;
    QString message; // what happened last, one short line
    // Fields of the queue file this program does not know, written back as they were.
    QJsonObject otherFields;
};

// What a queued book is known by, whatever row it is in: the book (its id, or its address when
// it has none) and the pages asked for.
struct QueueKey
{
    QString book;
    PageRange range;

    bool operator==(const QueueKey &) const = default;
};
QueueKey KeyOf(const QueueEntry &entry);

// The books to download one after another, for the window's list and for a run from the
// command line alike. With a file the queue is kept there: every change is written to it at
// once, whole and atomically, so a program that ends at any moment leaves the last good queue
// behind. Without a file it lives in memory only.
class BookQueue : public QObject
{
    Q_OBJECT
public:
    explicit BookQueue(QObject *parent = nullptr);

    // "queue.json" in the data folder.
    static QString DefaultFile();

    // Reads the queue kept in file and keeps it there from now on. A missing file is an empty
    // queue. A file that cannot be read or is damaged gives an empty queue too (the file is
    // left as it is until the next change) and the reason is returned; entries the file holds
    // that cannot be used are left out and said so. An entry that was running when its program
    // ended comes back stopped. Returns an empty text when all is well.
    QString load(const QString &file);

    const QList<QueueEntry> &entries() const { return m_entries; }
    int size() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }

    // The entry of that book which is not done yet, or -1.
    int indexOfPending(const QueueEntry &book) const;
    // The entry known by key which is not done yet, or -1.
    int indexOfPending(const QueueKey &key) const;

    // Queues a book at the end; a book already queued and not done is not added again (false).
    bool add(const QueueEntry &entry);
    void remove(int index);
    // The first waiting entry, or -1.
    int nextWaiting() const;
    void setState(int index, QueueState state, const QString &message = {});
    // Of the entry known by key that is not done yet; nothing when there is none (removed).
    void setState(const QueueKey &key, QueueState state, const QString &message = {});

    // Why the last write of the file failed; empty when it succeeded.
    const QString &saveError() const { return m_saveError; }

signals:
    void changed();
    // The queue could not be written to its file; the queue itself is as it was changed.
    void saveFailed(const QString &reason);

private:
    void commit();

    QString m_file;
    QList<QueueEntry> m_entries;
    QString m_saveError;
};
