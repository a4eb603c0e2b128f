#include "exitstatus.h"

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
