#include "stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int StopSignalNumbers[] = {SIGINT, SIGTERM};

// The pipe's ends; the write end is all the handler touches.
int g_readEnd = -1;
volatile sig_atomic_t g_writeEnd = -1;
struct sigaction g_previous[std::size(StopSignalNumbers)];

// Runs inside the signal: only async-signal-safe calls, errno left as it was found.
void onStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0) {
        // A full pipe means many signals are already waiting to be read; one more adds nothing.
        [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    }
    errno = savedErrno;
}

bool openPipe(int ends[2])
{
    if (::pipe(ends) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(ends[i], F_SETFD, FD_CLOEXEC); // not inherited by the browser's helper processes
        ::fcntl(ends[i], F_SETFL, ::fcntl(ends[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (g_readEnd >= 0)
        return; // another object holds the signals
    int ends[2];
    if (!openPipe(ends))
        return;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignals);

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // system calls the signal interrupts carry on
    for (size_t i = 0; i < std::size(StopSignalNumbers); ++i)
        ::sigaction(StopSignalNumbers[i], &action, &g_previous[i]);
    m_active = true;
}

StopSignals::~StopSignals()
{
    if (!m_active)
        return;
    for (size_t i = 0; i < std::size(StopSignalNumbers); ++i)
        ::sigaction(StopSignalNumbers[i], &g_previous[i], nullptr);
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    delete m_notifier;
    ::close(g_readEnd);
    g_readEnd = -1;
}

void StopSignals::readSignals()
{
    unsigned char bytes[64];
    ssize_t count;
    while ((count = ::read(g_readEnd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit stopRequested(bytes[i]);
    }
}
