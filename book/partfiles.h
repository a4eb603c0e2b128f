#pragma once

#include <QString>

// The PDF engine library writes a document to "<output>.part<pid>" and renames it onto the
// output when it is complete; a build whose process died leaves that file behind.

// Removes the part files of outputPath left by processes that no longer run. A part file of
// a running process (another build of the same book, or this one) is never touched.
void RemoveStalePartFiles(const QString &outputPath);
