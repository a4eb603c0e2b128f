#include "runtexts.h"

#include "sitefault.h"

QString PageListText(const QList<int> &pages)
{
    QString text;
    for (int page : pages)
        text += QLatin1Char(' ') + QString::number(page);
    return text;
}

QString StoredAlreadyText(const RunEvents::StoredAlready &event)
{
    const QString stored = event.from == event.to
                               ? QStringLiteral("Page %1 is stored already").arg(event.from)
                               : QStringLiteral("Pages %1-%2 are stored already").arg(event.from).arg(event.to);
    return event.goingOnAt > 0 ? stored + QStringLiteral(": going on at page %1").arg(event.goingOnAt) : stored;
}

QString WaitingForSiteText(const RunEvents::WaitingForSite &event)
{
    return QStringLiteral("Page %1 did not load (%2): trying again in %3").arg(event.page).arg(event.why, WaitText(event.wait));
}

QString PageGivenUpText(const RunEvents::PageGivenUp &event)
{
    const QString page = event.page > 0 ? QStringLiteral("Page %1").arg(event.page) : QStringLiteral("The page on display");
    switch (event.cause) {
    case GiveUpCause::Damaged:
        return page + QStringLiteral(" is damaged as the site sends it: given up");
    case GiveUpCause::Refused:
        return page + QStringLiteral(" did not load (%1): given up").arg(event.why);
    case GiveUpCause::Failed:
    case GiveUpCause::Unusable:
    case GiveUpCause::ProcessEnded:
        break;
    }
    return page + QStringLiteral(" could not be captured");
}

QString PageProcessEndedText(const RunEvents::PageProcessEnded &event)
{
    const QString what = event.hung ? QStringLiteral("The browser's page process stopped answering")
                                    : QStringLiteral("The browser's page process ended (%1)").arg(event.how);
    if (!event.reloading)
        return what;
    return what + (event.page > 0 ? QStringLiteral(": loading page %1 again").arg(event.page) : QStringLiteral(": loading the page again"));
}

QString PageUnusableText(const RunEvents::PageUnusable &event)
{
    return QStringLiteral("The page image is not usable: %1").arg(event.reason);
}

QString ViewerStuckText()
{
    return QStringLiteral("The viewer does not move on to another page");
}

QString SecondPassText(const RunEvents::SecondPass &event)
{
    return QStringLiteral("Trying once more the pages that could not be captured:") + PageListText(event.pages);
}

QString StillMissingText(const RunEvents::StillMissing &event)
{
    return QStringLiteral("Still missing:") + PageListText(event.pages);
}

QString BookRecordUnsavedText(const RunEvents::BookRecordUnsaved &event)
{
    return QStringLiteral("Cannot write file \"%1\": a later Rebuild will not know the book's title").arg(event.path);
}

QString LeftBookHint()
{
    return QStringLiteral("To go on, sign in if the site asks, open the book and press Download: it goes on at the first "
                          "page not stored");
}

QString BuildRefusedText()
{
    return QStringLiteral("A pdf file is being built already, wait....");
}

QString BuildEndedText(const RunEvents::BuildEnded &event)
{
    using NoBuild = RunEvents::BuildEnded::NoBuild;
    const BookBuildOutcome &outcome = event.outcome;
    switch (outcome.kind) {
    case BookBuildOutcome::Written:
        // Pages whose text could not be read are in the PDF, as images only.
        if (outcome.result.imageOnly.isEmpty())
            return {};
        return QStringLiteral("no text recognised on pages") + outcome.result.imageOnly + QStringLiteral(": ")
               + outcome.result.textFailures.value(0);
    case BookBuildOutcome::NoPages:
        switch (event.noBuild) {
        case NoBuild::CountUnknown:
            return QStringLiteral("The book's page count is not known: no pdf file written");
        case NoBuild::CountTooLarge:
            return QString::asprintf("Total pages %d is more than a book has: no pdf file written", event.totalPages);
        case NoBuild::None:
            break;
        }
        return QStringLiteral("No page of the book is stored: no pdf file written");
    case BookBuildOutcome::Failed:
    case BookBuildOutcome::Cancelled:
        return {};
    }
    return {};
}
