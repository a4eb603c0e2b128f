#include "pdfenginelibrary.h"

#include "apperror.h"

#include <QFileInfo>

QString TPDFEngineLibrary::PlatformFileName(const QString &dllName)
{
    QString base = QFileInfo(dllName).fileName();
    if (base.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive))
        base.chop(4);
#if defined(Q_OS_WIN)
    return base + QLatin1String(".dll");
#elif defined(Q_OS_MACOS)
    return QLatin1String("lib") + base + QLatin1String(".dylib");
#else
    return QLatin1String("lib") + base + QLatin1String(".so");
#endif
}

TPDFEngineLibrary::TPDFEngineLibrary(const QString &fileName) : m_library(fileName)
{
    if (!QFileInfo::exists(fileName) || !m_library.load())
        throw AppError(QStringLiteral("DLL \"%1\" was not found. PDF Export is not possible.").arg(fileName));
    auto resolve = [this](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(m_library.resolve(name));
        return slot != nullptr;
    };
    const bool complete = resolve(Initialize, "PDFE_Initialize") & resolve(SetIProp, "PDFE_SetIProp")
                          & resolve(SetSProp, "PDFE_SetSProp") & resolve(Action, "PDFE_Action")
                          & resolve(InitializePage, "PDFE_InitializePage") & resolve(Finalize, "PDFE_Finalize")
                          & resolve(Exec, "_PDFE_EXEC") & resolve(EncodeImage, "PDFE_EncodeImage")
                          & resolve(FreeImage, "PDFE_FreeImage");
    resolve(ProcessPDF, "PDFE_ProcessPDF");
    resolve(DrawText, "PDFE_DrawText");
    if (!complete) {
        m_library.unload();
        throw AppError(QStringLiteral("DLL \"%1\" is not compatible. PDF Export is not possible.").arg(fileName));
    }
}

TPDFEngineLibrary::~TPDFEngineLibrary()
{
    m_library.unload();
}
