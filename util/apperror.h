#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

// The one kind of failure the program raises: a message for the user. Entry points from the
// event loop catch it and hand the message to the error reporter (errorreport.h).
class AppError : public std::exception
{
public:
    explicit AppError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A file could not be written (or would not fit): a page file, the PDF. The message names the
// file and the system's reason.
class WriteError : public AppError
{
public:
    using AppError::AppError;
};
