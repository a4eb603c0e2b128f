#include "bookbuilder.h"

#include <QThread>
#include <new>

TBookBuilder::TBookBuilder(QObject *parent) : QObject(parent)
{
}

TBookBuilder::~TBookBuilder()
{
    Abandon();
}

bool TBookBuilder::Start(const PdfBuildRequest &request, Done done)
{
    if (Busy())
        return false;
    m_cancel = false;
    m_done = std::move(done);
    const quint64 generation = ++m_generation;
    m_thread.reset(QThread::create([this, request, generation] {
        BookBuildOutcome outcome;
        outcome.path = request.outputPath;
        try {
            outcome.result = AssemblePdf(
                request,
                [this, generation](int page) {
                    QMetaObject::invokeMethod(this, [this, generation, page] {
                        if (generation != m_generation || !Busy())
                            return;
                        emit Progress(page);
                    }, Qt::QueuedConnection);
                },
                &m_cancel);
            outcome.kind = outcome.result.pagesWritten > 0 ? BookBuildOutcome::Written : BookBuildOutcome::NoPages;
        } catch (const BuildCancelled &) {
            outcome.kind = BookBuildOutcome::Cancelled;
        } catch (const AppError &e) {
            outcome.error = e.message();
        } catch (const std::bad_alloc &) {
            outcome.error = QStringLiteral("Not enough memory to build the pdf file");
        } catch (const std::exception &e) {
            outcome.error = QString::fromLocal8Bit(e.what());
        }
        QMetaObject::invokeMethod(this, [this, generation, outcome] { finish(generation, outcome); }, Qt::QueuedConnection);
    }));
    m_thread->start();
    return true;
}

void TBookBuilder::Cancel()
{
    m_cancel = true;
}

void TBookBuilder::Abandon()
{
    if (!Busy())
        return;
    ++m_generation;
    m_cancel = true;
    m_done = nullptr;
    join();
}

void TBookBuilder::join()
{
    if (m_thread)
        m_thread->wait();
    m_thread.reset();
}

void TBookBuilder::finish(quint64 generation, const BookBuildOutcome &outcome)
{
    if (generation != m_generation)
        return; // abandoned
    join();
    // Taken out first: done may start the next build.
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(outcome);
}
