#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.0 server on 127.0.0.1 for browser tests. Each request is answered by the
// handler registered for its exact path (404 for any other), then the connection is closed. Every request's path and query is recorded.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        int delayMs = 0;                    // answer this much later (slow servers)
        QByteArray cacheControl = "no-store"; // none sent when empty
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    using Handler = std::function<Response(const QUrl &url)>;

    explicit HttpTestServer(QObject *parent = nullptr);

    // Listens on 127.0.0.1, on the given port or (0) a free one.
    bool start(quint16 port = 0);
    quint16 port() const;
    // http://127.0.0.1:<port><pathAndQuery>
    QString url(const QString &pathAndQuery) const;

    void route(const QString &path, Handler handler);

    // Requests seen so far, as "path?query".
    QStringList requests() const { return m_requests; }
    int hits(const QString &pathAndQuery) const;
    // Requests seen for each "path?query".
    QHash<QString, int> hitCounts() const;

signals:
    void requestServed(const QString &pathAndQuery);

private:
    void onNewConnection();
    void handle(QTcpSocket *socket);
    Response answer(const QUrl &url) const;

    QTcpServer *m_server;
    QHash<QString, Handler> m_routes;
    QStringList m_requests;
};
