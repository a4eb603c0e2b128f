#include "vbooks.h"

#include "MyUtils.h"
#include "activitylog.h"
#include "folders.h"
#include "pdfassembly.h"
#include "runstate.h"

namespace {

// Longest file name of a book's PDF, before ".pdf".
constexpr qsizetype MaxPdfNameLength = 100;

// Set while a build runs: the build lets events through between pages, so a click on
// Rebuild could otherwise start a second build writing the same file.
bool g_building = false;

} // namespace

void TePubobj::BuildBook(const QString &)
{
    if (g_building) {
        AddLog(QStringLiteral("A pdf file is being built already, wait...."));
        // The running build rewrites the last line with its progress: give it its own.
        if (!PdfProgressLine().isEmpty())
            AddLog(PdfProgressLine());
        return;
    }
    g_building = true;
    struct Done
    {
        ~Done() { g_building = false; }
    } done;

    outputfile.clear();
    QString name = SafeFileName(id);
    if (name.size() > MaxPdfNameLength)
        name.truncate(MaxPdfNameLength);
    const QString path = AppFolders().dataFolder + name + QStringLiteral(".pdf");

    const QString missing = AssemblePdf(PageFolder(), Run().TotalPages, path, ScreenPixelsPerInch());
    if (!missing.isEmpty())
        AddLog(QStringLiteral("missing pages ") + missing);
    AddLog(QStringLiteral("save pdf file ") + path);
    outputfile = path;
}
