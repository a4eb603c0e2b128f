#pragma once

#include <QElapsedTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QtTest>

// Runs code in the page and waits (processing events) for its result.
inline QVariant evaluateJavaScript(QWebEnginePage *page, const QString &code, int timeoutMs = 10000)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(code, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return result;
}
