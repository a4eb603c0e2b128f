#include "pdfexport.h"

#include "apperror.h"
#include "folders.h"
#include "libraryfolders.h"
#include "pdfenginelibrary.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString TCustomPDFExport::DLLName = QStringLiteral("converter.DLL");

TCustomPDFExport::TCustomPDFExport()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    m_created = QString::asprintf("D:%d%.2d%.2d%.2d%.2d%.2d", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

TCustomPDFExport::~TCustomPDFExport()
{
    release();
}

QString TCustomPDFExport::LibraryPath()
{
    if (QFileInfo(DLLName).isAbsolute())
        return DLLName;
    const QString fileName = TPDFEngineLibrary::PlatformFileName(DLLName);
    const QString found = FindPrivateLibrary(fileName);
    return found.isEmpty() ? AppFolders().programFolder + fileName : found;
}

void TCustomPDFExport::onMessage(void *context, int32_t, const char *message)
{
    static_cast<TCustomPDFExport *>(context)->m_lastMessage = QString::fromUtf8(message);
}

void TCustomPDFExport::endInstance()
{
    if (m_instance && m_library)
        m_library->Finalize(m_instance); // an unfinished document is discarded
    m_instance = nullptr;
}

void TCustomPDFExport::release()
{
    endInstance();
    m_library.reset();
}

void TCustomPDFExport::fail(const QString &message)
{
    // The library stays loaded: images encoded for this export are still to be released.
    endInstance();
    throw AppError(message);
}

void TCustomPDFExport::act(int code, void *pointer, const char *operation)
{
    if (m_library->Action(m_instance, code, 0, pointer) != 0)
        fail(QStringLiteral("Error in %1! %2").arg(QLatin1String(operation), m_lastMessage));
}

void TCustomPDFExport::requireDocument(const char *operation) const
{
    if (!m_instance)
        throw AppError(QStringLiteral("%1 without a document").arg(QLatin1String(operation)));
}

void TCustomPDFExport::BeginDoc()
{
    if (m_instance)
        throw AppError(QStringLiteral("Error in BeginDoc!"));
    if (!m_library)
        m_library = std::make_unique<TPDFEngineLibrary>(LibraryPath());
    m_instance = m_library->Initialize(0, 0, 0, 1, &TCustomPDFExport::onMessage, this);
    if (!m_instance)
        fail(QStringLiteral("Initialization of PDF Engine failed"));

    // Export settings: no encoding, compression done by the engine itself, no encryption,
    // default page and zoom modes, device modes with clip rectangles.
    const int integers[][2] = {{1, 0}, {2, 0}, {3, 0}, {14, 0}, {4, 0}, {6, 0}, {7, 0}, {15, 0},
                               {12, 0}, {25, 0}, {26, 32}, {27, 0}, {9, 0}, {8, 0}, {21, 0}, {10, 200}};
    for (const auto &p : integers)
        m_library->SetIProp(m_instance, p[0], p[1]);
    std::map<int, QString> texts{{1, {}}, {2, m_created}, {3, m_created}, {4, {}}, {5, {}}, {6, {}},
                                 {7, {}}, {9, {}}, {11, {}}, {10, {}}, {12, {}}, {14, {}}};
    for (const auto &[property, text] : DocumentInfo)
        texts[property] = text;
    for (const auto &[property, text] : texts)
        m_library->SetSProp(m_instance, property, reinterpret_cast<const char16_t *>(text.utf16()));

    QByteArray path = Filename;
    if (m_library->Action(m_instance, PDFE_BEGINDOC, 0, path.data()) != 0)
        fail(QStringLiteral("Error in BeginDoc! %1").arg(m_lastMessage).trimmed());
}

void TCustomPDFExport::StartPage(int pagew, int pageh, int xres, int yres, int rotation)
{
    requireDocument("StartPage");
    TPDFE_InitRec page{};
    page.pagew = pagew;
    page.pageh = pageh;
    page.xres = xres;
    page.yres = yres;
    page.rotation = rotation;
    page.specialcolor = 0xFF000010u;
    m_library->InitializePage(m_instance, 0, &page);
    act(PDFE_STARTPAGE, nullptr, "StartPage");
}

void TCustomPDFExport::CloseCanvas()
{
    // Nothing is drawn on a page's canvas, so there is nothing to close.
}

int TCustomPDFExport::draw(int code, const char *operation, int x, int y, int w, int h, const void *handle)
{
    requireDocument(operation);
    TPDFE_DrawRec record{};
    record.x = x;
    record.y = y;
    record.w = w;
    record.h = h;
    record.bitmap = static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    // A page that cannot be drawn would be missing from a PDF reported as built.
    act(code, &record, operation);
    return record.imagenumber;
}

int TCustomPDFExport::DrawBitmap(int x, int y, int w, int h, const PDFE_Bitmap *bitmap)
{
    return draw(PDFE_DRAWBITMAP, "DrawBitmap", x, y, w, h, bitmap);
}

void TCustomPDFExport::DrawText(const PDFE_TextWord *words, int count)
{
    requireDocument("DrawText");
    if (!m_library->DrawText)
        fail(QStringLiteral("The PDF engine library cannot add text to pages."));
    if (m_library->DrawText(m_instance, words, count) != 0)
        fail(QStringLiteral("Error in DrawText! %1").arg(m_lastMessage));
}

int TCustomPDFExport::DrawImage(int x, int y, int w, int h, void *image)
{
    return draw(PDFE_DRAWIMAGE, "DrawImage", x, y, w, h, image);
}

void *TCustomPDFExport::EncodeImage(const PDFE_Bitmap &bitmap, QString *error) const
{
    char reason[512] = {};
    void *image = m_library ? m_library->EncodeImage(&bitmap, reason, sizeof reason) : nullptr;
    if (!image && error)
        *error = m_library ? QString::fromUtf8(reason) : QStringLiteral("no document");
    return image;
}

void TCustomPDFExport::FreeImage(void *image) const
{
    if (image && m_library)
        m_library->FreeImage(image);
}

void TCustomPDFExport::Abandon()
{
    endInstance();
}

void TCustomPDFExport::EndPage()
{
    requireDocument("EndPage");
    act(PDFE_ENDPAGE, nullptr, "EndPage");
}

void TCustomPDFExport::EndDoc()
{
    if (!m_instance)
        return;
    QByteArray path = Filename;
    // A document that could not be written is an error, not a finished build.
    act(PDFE_ENDDOC, nullptr, "EndDoc");
    act(PDFE_WRITEDOC, path.data(), "EndDoc");
    m_library->Action(m_instance, PDFE_CLOSEDOC, 0, nullptr);
    m_library->Finalize(m_instance);
    m_instance = nullptr;
}
