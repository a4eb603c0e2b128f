#include "scriptrunner.h"

#include "consolemessage.h"
#include "ibrowser.h"
#include "pagescripts.h"

#include <QTimer>
#include <algorithm>

TScriptRunner::TScriptRunner(IBrowser &browser, QObject *parent)
    : QObject(parent), m_browser(browser)
{
}

TScriptRunner::~TScriptRunner()
{
    Abandon();
}

void TScriptRunner::ExecScript(const QString &code, int timeoutMs, Done done)
{
    if (!m_browser.HasBrowser()) {
        if (done)
            QTimer::singleShot(0, this, [done] { done(ScriptOutcome()); });
        return;
    }
    Pending script;
    script.sequence = ++m_sequence;
    script.done = std::move(done);
    script.finished = !script.done;
    if (script.done) {
        script.deadline = new QTimer(this);
        script.deadline->setSingleShot(true);
        const quint64 sequence = script.sequence;
        connect(script.deadline, &QTimer::timeout, this, [this, sequence] {
            // Given up: its output, if it still comes, is dropped.
            if (Pending *given = find(sequence)) {
                // One that said it goes on has answered: the page is alive, only slow.
                given->outcome.timedOut = !given->goesOn;
                finish(*given);
            }
            finishGoingOn(sequence);
        });
        script.deadline->start(timeoutMs);
    }
    m_pending.push_back(std::move(script));
    m_browser.ExecuteJavaScript(ScriptNumberScript(m_sequence));
    m_browser.ExecuteJavaScript(code);
    m_browser.ExecuteJavaScript(ScriptDoneProbe(m_sequence));
}

TScriptRunner::Pending *TScriptRunner::current()
{
    // Output belongs to the oldest script whose probe has not come yet: the page prints in
    // the order the scripts run.
    return m_pending.empty() ? nullptr : &m_pending.front();
}

TScriptRunner::Pending *TScriptRunner::find(quint64 sequence)
{
    for (std::deque<Pending> *list : {&m_pending, &m_goingOn}) {
        const auto it = std::find_if(list->begin(), list->end(), [sequence](const Pending &p) { return p.sequence == sequence; });
        if (it != list->end())
            return &*it;
    }
    return nullptr;
}

void TScriptRunner::finishGoingOn(quint64 sequence)
{
    const auto it = std::find_if(m_goingOn.begin(), m_goingOn.end(), [sequence](const Pending &p) { return p.sequence == sequence; });
    if (it == m_goingOn.end())
        return;
    // Taken out first: done may queue scripts.
    Pending script = std::move(*it);
    m_goingOn.erase(it);
    finish(script);
}

void TScriptRunner::finish(Pending &script)
{
    if (script.deadline) {
        script.deadline->deleteLater();
        script.deadline = nullptr;
    }
    if (script.finished)
        return;
    script.finished = true;
    // Taken out first: done may queue scripts or drop the ones pending.
    Done done = std::move(script.done);
    script.done = nullptr;
    const ScriptOutcome outcome = std::move(script.outcome);
    done(outcome);
}

void TScriptRunner::HandleConsoleText(const QString &text)
{
    ConsoleMessage message = ReadConsoleMessage(text);
    // Output tagged with its script goes to that script, untagged output to the one running.
    Pending *owner = nullptr;
    if (message.tag == ConsoleTag::End || message.tag == ConsoleTag::Page || message.tag == ConsoleTag::Fault)
        owner = message.script ? find(message.script) : current();
    switch (message.tag) {
    case ConsoleTag::End:
        if (owner && !owner->finished) {
            owner->outcome.ended = true;
            finish(*owner);
        }
        if (message.script)
            finishGoingOn(message.script);
        return;
    case ConsoleTag::Pending:
        if (Pending *script = current(); script && script->sequence == message.script)
            script->goesOn = true;
        return;
    case ConsoleTag::Page:
        if (owner && !owner->finished)
            owner->outcome.report = std::move(message.payload);
        return;
    case ConsoleTag::Fault:
        if (owner && !owner->finished)
            owner->outcome.fault = std::move(message.payload);
        return;
    case ConsoleTag::Title:
        emit TitleRead(message.payload);
        return;
    case ConsoleTag::Book:
        emit BookRecordRead(message.payload);
        return;
    case ConsoleTag::ScriptDone:
        scriptDone(message.script);
        return;
    case ConsoleTag::Ignored:
    case ConsoleTag::None:
        return;
    }
}

void TScriptRunner::scriptDone(quint64 sequence)
{
    // Every script up to this one has printed all it will print.
    while (!m_pending.empty() && m_pending.front().sequence <= sequence) {
        Pending script = std::move(m_pending.front());
        m_pending.pop_front();
        if (script.goesOn && !script.finished)
            m_goingOn.push_back(std::move(script)); // its end marker or deadline ends it
        else
            finish(script);
    }
}

void TScriptRunner::DocumentReplaced()
{
    std::deque<Pending> gone;
    gone.swap(m_pending);
    for (Pending &script : m_goingOn)
        gone.push_back(std::move(script));
    m_goingOn.clear();
    for (Pending &script : gone)
        finish(script);
}

void TScriptRunner::Abandon()
{
    for (std::deque<Pending> *list : {&m_pending, &m_goingOn}) {
        for (Pending &script : *list) {
            script.done = nullptr;
            script.finished = true;
            if (script.deadline)
                script.deadline->deleteLater();
            script.deadline = nullptr;
        }
        list->clear();
    }
}

bool TScriptRunner::Busy() const
{
    for (const std::deque<Pending> *list : {&m_pending, &m_goingOn}) {
        for (const Pending &script : *list) {
            if (!script.finished)
                return true;
        }
    }
    return false;
}
