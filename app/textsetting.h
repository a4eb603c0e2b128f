#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

// The program's settings (the text layer's choice among them), shared by the window and the
// runs without a window.
QSettings ProgramSettings();

// The window's text layer setting: the language the pages' text is recognised in, or empty for
// image-only PDFs. installed: the languages whose models are installed; a saved language that
// is not among them gives "eng" when that is, else the first; none installed gives empty.
QString SavedTextLanguage(const QStringList &installed);
