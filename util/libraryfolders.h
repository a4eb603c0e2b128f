#pragma once

#include <QString>
#include <QStringList>

// The program's own libraries that it loads at run time (the PDF engine library) are looked
// for beside the executable (a build folder, an unpacked copy) and then in the installed
// private library folder, <prefix>/lib/quillmoor-downloader beside <prefix>/bin. Both come
// from ProgramFolder, so SetupProgramFolder (or SetupFolders) must have run.
QStringList PrivateLibraryFolders();

// The first folder that holds fileName, as a full path; empty when none does.
QString FindPrivateLibrary(const QString &fileName);
