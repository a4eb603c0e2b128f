#pragma once

#include "downloadoptions.h"

class QWebEngineProfile;

// `--download`: captures each book of options one after another and builds its PDF, with no
// window shown, on the profile given (the window's, so the reader's sign-in applies) and at the
// window's pace. Prints a line per page and per book to standard error and the path of each PDF
// written to standard output; SIGINT and SIGTERM stop like Stop. Returns the exit status
// (exitstatus.h). Needs a running QApplication; the caller holds the profile's lock.
int RunDownloadsWithoutWindow(const DownloadOptions &options, QWebEngineProfile *profile);
