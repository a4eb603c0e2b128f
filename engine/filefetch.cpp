#include "filefetch.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {
// The addresses being fetched for the program.
QSet<QString> &fetching()
{
    static QSet<QString> urls;
    return urls;
}

const QString FileName = QStringLiteral("file");
} // namespace

bool TFileFetch::IsProgramFetch(const QWebEngineDownloadRequest *request)
{
    return fetching().contains(request->url().toString(QUrl::FullyEncoded));
}

void TFileFetch::Start(QWebEnginePage *page, const QString &url, int timeoutMs, IBrowser::FetchDone done)
{
    auto *fetch = new TFileFetch(page, url, std::move(done));
    fetch->m_deadline.start(timeoutMs);
    page->download(QUrl(url), FileName);
}

TFileFetch::TFileFetch(QWebEnginePage *page, const QString &url, IBrowser::FetchDone done)
    : QObject(page), m_url(QUrl(url).toString(QUrl::FullyEncoded)), m_done(std::move(done))
{
    fetching().insert(m_url);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { end({}, QStringLiteral("no answer in time")); });
    connect(page->profile(), &QWebEngineProfile::downloadRequested, this, &TFileFetch::requested);
}

TFileFetch::~TFileFetch()
{
    fetching().remove(m_url);
    if (m_request && !m_request->isFinished())
        m_request->cancel();
}

void TFileFetch::requested(QWebEngineDownloadRequest *request)
{
    if (m_request || request->state() != QWebEngineDownloadRequest::DownloadRequested
        || request->url().toString(QUrl::FullyEncoded) != m_url)
        return;
    if (!m_folder.isValid()) {
        request->cancel();
        end({}, QStringLiteral("no folder to download into: %1").arg(m_folder.errorString()));
        return;
    }
    m_request = request;
    request->setDownloadDirectory(m_folder.path());
    request->setDownloadFileName(FileName);
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, &TFileFetch::finished);
    request->accept();
}

void TFileFetch::finished()
{
    if (!m_request || !m_request->isFinished())
        return;
    if (m_request->state() != QWebEngineDownloadRequest::DownloadCompleted) {
        end({}, m_request->interruptReasonString());
        return;
    }
    QFile file(QDir(m_folder.path()).filePath(FileName));
    if (!file.open(QIODevice::ReadOnly)) {
        end({}, file.errorString());
        return;
    }
    end(file.readAll(), QString());
}

void TFileFetch::end(const QByteArray &bytes, const QString &error)
{
    if (!m_done)
        return;
    m_deadline.stop();
    const IBrowser::FetchDone done = std::exchange(m_done, nullptr);
    deleteLater(); // the folder and its file go with it
    done(bytes, error);
}
