#include "errorreport.h"

#include "apperror.h"

#include <QDebug>

namespace {
ErrorReporter &reporter()
{
    static ErrorReporter instance;
    return instance;
}
} // namespace

void SetErrorReporter(ErrorReporter r)
{
    reporter() = std::move(r);
}

void ReportError(const QString &message)
{
    if (reporter())
        reporter()(message);
    else
        qWarning().noquote() << message;
}

void RunGuarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const AppError &e) {
        ReportError(e.message());
    } catch (const std::exception &e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
}
