#include "httptestserver.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

HttpTestServer::HttpTestServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpTestServer::onNewConnection);
}

bool HttpTestServer::start(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 HttpTestServer::port() const
{
    return m_server->serverPort();
}

QString HttpTestServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery);
}

void HttpTestServer::route(const QString &path, Handler handler)
{
    m_routes.insert(path, std::move(handler));
}

int HttpTestServer::hits(const QString &pathAndQuery) const
{
    return int(m_requests.count(pathAndQuery));
}

QHash<QString, int> HttpTestServer::hitCounts() const
{
    QHash<QString, int> counts;
    for (const QString &request : m_requests)
        ++counts[request];
    return counts;
}

void HttpTestServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handle(socket); });
    }
}

void HttpTestServer::handle(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    if (!head.contains("\r\n\r\n"))
        return; // the request head is not complete yet
    socket->setProperty("answered", true);

    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    const QUrl url(QStringLiteral("http://127.0.0.1") + QString::fromLatin1(target));
    const QString pathAndQuery = QString::fromLatin1(target);
    m_requests.append(pathAndQuery);

    const Response response = answer(url);
    QByteArray reply = "HTTP/1.0 " + QByteArray::number(response.status) + " OK\r\n";
    reply += "Content-Type: " + response.contentType + "\r\n";
    reply += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!response.cacheControl.isEmpty())
        reply += "Cache-Control: " + response.cacheControl + "\r\n";
    reply += "Connection: close\r\n";
    for (const auto &header : response.headers)
        reply += header.first + ": " + header.second + "\r\n";
    reply += "\r\n" + response.body;

    QPointer<QTcpSocket> guard(socket);
    auto send = [this, guard, reply, pathAndQuery] {
        if (!guard)
            return;
        guard->write(reply);
        guard->disconnectFromHost();
        emit requestServed(pathAndQuery);
    };
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, this, send);
    else
        send();
}

HttpTestServer::Response HttpTestServer::answer(const QUrl &url) const
{
    const auto it = m_routes.constFind(url.path());
    if (it != m_routes.cend())
        return it.value()(url);
    Response notFound;
    notFound.status = 404;
    notFound.body = "<html><body>not found</body></html>";
    return notFound;
}
