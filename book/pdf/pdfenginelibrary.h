#pragma once

#include "pdfe.h"

#include <QLibrary>
#include <QString>

// The PDF engine library loaded at run time: every entry point resolved when it loads, so
// a library that lacks one is refused at once, naming what is missing.
class TPDFEngineLibrary
{
public:
    // Loads fileName (a path). Throws the "not found" or "not compatible" error.
    explicit TPDFEngineLibrary(const QString &fileName);
    ~TPDFEngineLibrary();

    decltype(&PDFE_Initialize) Initialize = nullptr;
    decltype(&PDFE_SetIProp) SetIProp = nullptr;
    decltype(&PDFE_SetSProp) SetSProp = nullptr;
    decltype(&PDFE_Action) Action = nullptr;
    decltype(&PDFE_InitializePage) InitializePage = nullptr;
    decltype(&PDFE_Finalize) Finalize = nullptr;
    decltype(&PDFE_ProcessPDF) ProcessPDF = nullptr; // may be absent
    decltype(&_PDFE_EXEC) Exec = nullptr;
    decltype(&PDFE_EncodeImage) EncodeImage = nullptr;
    decltype(&PDFE_FreeImage) FreeImage = nullptr;
    decltype(&PDFE_DrawText) DrawText = nullptr;     // absent from libraries without text layers

    // The library's file name on this platform for a name given as "converter.dll".
    static QString PlatformFileName(const QString &dllName);

private:
    QLibrary m_library;
};
