#pragma once

#include <QString>
#include <functional>
#include <utility>

// One place where the program tells the user that something failed. The program installs a
// message box; tests install their own recorder (a modal box would block them).
using ErrorReporter = std::function<void(const QString &message)>;

void SetErrorReporter(ErrorReporter reporter);
void ReportError(const QString &message);

// Runs fn and reports any failure that leaves it. Every entry point from the event loop
// (button, timer, posted event, engine signal) goes through this, so no exception ever
// crosses the event loop and the program carries on.
void RunGuarded(const std::function<void()> &fn);

template<typename F>
auto Guarded(F fn)
{
    return [fn = std::move(fn)](auto &&...args) {
        RunGuarded([&] { fn(std::forward<decltype(args)>(args)...); });
    };
}
