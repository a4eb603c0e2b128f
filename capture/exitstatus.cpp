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
    case RunOutcome::PagesMissing:
    case RunOutcome::Stopped:
    case RunOutcome::Failed:
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
            status = ExitStatus::NotOpened;
            break;
        }
    }
    return status;
}
