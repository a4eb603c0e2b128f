#pragma once

#include "runevents.h"

#include <QList>
#include <QString>

// The sentences a run's events are told in, the same in the window's log and on a terminal.

// "Pages 1-2 are stored already: going on at page 3"; "Page 4 is stored already".
QString StoredAlreadyText(const RunEvents::StoredAlready &event);
// "Page 2 did not load (HTTP 503): trying again in 30 s".
QString WaitingForSiteText(const RunEvents::WaitingForSite &event);
// "Page 3 could not be captured"; "The page on display could not be captured"; "Page 3 is
// damaged as the site sends it: given up".
QString PageGivenUpText(const RunEvents::PageGivenUp &event);
// "The browser's page process ended (crashed): loading page 3 again".
QString PageProcessEndedText(const RunEvents::PageProcessEnded &event);
QString PageUnusableText(const RunEvents::PageUnusable &event);
QString ViewerStuckText();
QString SecondPassText(const RunEvents::SecondPass &event);
QString StillMissingText(const RunEvents::StillMissing &event);
QString BookRecordUnsavedText(const RunEvents::BookRecordUnsaved &event);
// After a run stopped because the viewer left its book: how to go on.
QString LeftBookHint();
QString BuildRefusedText();
// What a build that ended tells beside the PDF's path: that nothing was written and why, or
// the pages whose text could not be recognised; empty when there is nothing to tell.
QString BuildEndedText(const RunEvents::BuildEnded &event);

// " 3 7": page numbers, each after a blank.
QString PageListText(const QList<int> &pages);
