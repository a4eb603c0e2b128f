#include "bookqueue.h"

#include "folders.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

constexpr struct
{
    QueueState state;
    const char *word;
} StateWords[] = {
    {QueueState::Waiting, "waiting"}, {QueueState::Running, "running"}, {QueueState::Done, "done"},
    {QueueState::Stopped, "stopped"}, {QueueState::Failed, "failed"},
};

const QString BooksKey = QStringLiteral("books");

bool sameBook(const QueueEntry &a, const QueueEntry &b)
{
    if (!a.bookId.isEmpty() || !b.bookId.isEmpty())
        return a.bookId == b.bookId;
    return a.url == b.url;
}

QJsonObject toJson(const QueueEntry &entry)
{
    QJsonObject object = entry.otherFields;
    object.insert(QStringLiteral("url"), entry.url);
    object.insert(QStringLiteral("id"), entry.bookId);
    object.insert(QStringLiteral("title"), entry.title);
    object.insert(QStringLiteral("pages"), entry.pages);
    object.insert(QStringLiteral("range"), PageRangeText(entry.range));
    object.insert(QStringLiteral("state"), QueueStateWord(entry.state));
    object.insert(QStringLiteral("message"), entry.message);
    return object;
}

// The entry a file's object describes; none when it names no address to open.
std::optional<QueueEntry> fromJson(QJsonObject object)
{
    QueueEntry entry;
    entry.url = object.take(QStringLiteral("url")).toString().trimmed();
    if (entry.url.isEmpty())
        return std::nullopt;
    entry.bookId = object.take(QStringLiteral("id")).toString();
    entry.title = object.take(QStringLiteral("title")).toString();
    entry.pages = qMax(object.take(QStringLiteral("pages")).toInt(0), 0);
    entry.message = object.take(QStringLiteral("message")).toString();
    const std::optional<QueueState> state = QueueStateFromWord(object.take(QStringLiteral("state")).toString());
    // A state this program does not know (written by a later one) is kept from running on its
    // own: the user sees the book and can start it again.
    entry.state = state.value_or(QueueState::Stopped);
    if (entry.state == QueueState::Running) {
        entry.state = QueueState::Stopped;
        entry.message = QStringLiteral("The program ended during the download");
    }
    const QString rangeText = object.take(QStringLiteral("range")).toString();
    QString rangeError;
    if (const std::optional<PageRange> range = ParsePageRange(rangeText, &rangeError)) {
        entry.range = *range;
    } else if (entry.state != QueueState::Done) {
        // Never the whole book in place of the pages asked for: the book waits for the user.
        entry.state = QueueState::Failed;
        entry.message = rangeError;
    }
    entry.otherFields = object;
    return entry;
}

} // namespace

QString QueueStateWord(QueueState state)
{
    for (const auto &pair : StateWords) {
        if (pair.state == state)
            return QString::fromLatin1(pair.word);
    }
    return {};
}

std::optional<QueueState> QueueStateFromWord(const QString &word)
{
    for (const auto &pair : StateWords) {
        if (word == QLatin1String(pair.word))
            return pair.state;
    }
    return std::nullopt;
}

BookQueue::BookQueue(QObject *parent) : QObject(parent) {}

QString BookQueue::DefaultFile()
{
    return AppFolders().dataFolder + QStringLiteral("queue.json");
}

QString BookQueue::load(const QString &file)
{
    m_file = file;
    m_entries.clear();
    m_saveError.clear();
    QString problem;
    QFile input(file);
    if (!input.exists()) {
        // no queue yet
    } else if (!input.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("The queue file %1 cannot be read (%2); the queue starts empty").arg(file, input.errorString());
    } else {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &parseError);
        const QJsonValue books = document.object().value(BooksKey);
        if (parseError.error != QJsonParseError::NoError) {
            problem = QStringLiteral("The queue file %1 is damaged (%2 at byte %3); the queue starts empty")
                          .arg(file, parseError.errorString())
                          .arg(parseError.offset);
        } else if (!books.isArray()) {
            problem = QStringLiteral("The queue file %1 is damaged (it holds no list of books); the queue starts empty").arg(file);
        } else {
            int leftOut = 0;
            for (const QJsonValue &value : books.toArray()) {
                const std::optional<QueueEntry> entry = fromJson(value.toObject());
                if (entry)
                    m_entries << *entry;
                else
                    ++leftOut;
            }
            if (leftOut > 0)
                problem = QStringLiteral("%1 of the books in the queue file %2 had no address and were left out")
                              .arg(leftOut)
                              .arg(file);
        }
    }
    emit changed();
    return problem;
}

QueueKey KeyOf(const QueueEntry &entry)
{
    return {entry.bookId.isEmpty() ? entry.url : entry.bookId, entry.range};
}

int BookQueue::indexOfPending(const QueueKey &key) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].state != QueueState::Done && KeyOf(m_entries[i]) == key)
            return i;
    }
    return -1;
}

void BookQueue::setState(const QueueKey &key, QueueState state, const QString &message)
{
    setState(indexOfPending(key), state, message);
}

int BookQueue::indexOfPending(const QueueEntry &book) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].state != QueueState::Done && sameBook(m_entries[i], book))
            return i;
    }
    return -1;
}

bool BookQueue::add(const QueueEntry &entry)
{
    if (indexOfPending(entry) >= 0)
        return false;
    m_entries << entry;
    commit();
    return true;
}

void BookQueue::remove(int index)
{
    if (index < 0 || index >= m_entries.size())
        return;
    m_entries.removeAt(index);
    commit();
}

int BookQueue::nextWaiting() const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].state == QueueState::Waiting)
            return i;
    }
    return -1;
}

void BookQueue::setState(int index, QueueState state, const QString &message)
{
    if (index < 0 || index >= m_entries.size())
        return;
    m_entries[index].state = state;
    m_entries[index].message = message;
    commit();
}

void BookQueue::commit()
{
    emit changed();
    if (m_file.isEmpty())
        return;
    QJsonArray books;
    for (const QueueEntry &entry : std::as_const(m_entries))
        books.append(toJson(entry));
    const QByteArray bytes = QJsonDocument(QJsonObject{{BooksKey, books}}).toJson(QJsonDocument::Indented);
    QSaveFile output(m_file);
    if (output.open(QIODevice::WriteOnly) && output.write(bytes) == bytes.size() && output.commit()) {
        m_saveError.clear();
        return;
    }
    m_saveError = QStringLiteral("The queue could not be saved to %1: %2").arg(m_file, output.errorString());
    emit saveFailed(m_saveError);
}
