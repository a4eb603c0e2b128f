#pragma once

#include <QString>

// The program's folders, fixed once at start-up (SetupFolders) and read everywhere else.
struct Folders
{
    QString programFolder; // the executable's folder, ends with "/"
    QString dataFolder;    // <documents>/Brindlewick/Quillmoor Downloader/, ends with "/"
    QString workFolder;    // dataFolder + "tmp", no trailing "/"
};

const Folders &AppFolders();

// ProgramFolder from the running executable; DataFolder and WorkFolder created when missing.
void SetupFolders();
// ProgramFolder alone, for tools that use no data folder.
void SetupProgramFolder();
