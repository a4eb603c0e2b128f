#include "exitstatus.h"

#include "runevents.h"

BookOutcome BookOutcomeOf(const RunOutcome &outcome)
{
    switch (outcome.kind) {
    case RunOutcome::Complete:
        return BookOutcome::Complete;
    case RunOutcome::NoPages:
        return BookOutcome::NotOpened;
    case RunOutcome::LeftBook:
        return outcome.pagesStored ? BookOutcome::PagesMissing : BookOutcome::NotOpened;
    case RunOutcome::Failed:
        return outcome.writeFailed ? BookOutcome::WriteFailed : BookOutcome::PagesMissing;
    case RunOutcome::PagesMissing:
    case RunOutcome::Stopped:
        break;
    }
    return BookOutcome::PagesMissing;
}

int RunExitStatus(const QList<BookOutcome> &outcomes, int stopSignal)
{
    if (stopSignal > 0)
        return ExitStatus::SignalBase + stopSignal;
    int status = ExitStatus::Complete;
    for (const BookOutcome outcome : outcomes) {
        switch (outcome) {
        case BookOutcome::Complete:
            break;
        case BookOutcome::PagesMissing:
            if (status == ExitStatus::Complete)
                status = ExitStatus::PagesMissing;
            break;
        case BookOutcome::NotOpened:
            if (status != ExitStatus::WriteFailed)
                status = ExitStatus::NotOpened;
            break;
        case BookOutcome::WriteFailed:
            status = ExitStatus::WriteFailed;
            break;
        }
    }
    return status;
}
