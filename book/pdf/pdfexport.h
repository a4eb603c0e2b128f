#pragma once

#include "pdfe.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>

class TPDFEngineLibrary;

// Writes a PDF through the PDF engine library: BeginDoc, then per page StartPage,
// CloseCanvas, DrawBitmap (or DrawImage of an image encoded ahead), EndPage, and EndDoc.
// Failures throw with the user's message. Abandon, or destroying the export, ends an
// unfinished document (no file is left) and releases the library.
class TCustomPDFExport
{
public:
    TCustomPDFExport();
    virtual ~TCustomPDFExport();
    TCustomPDFExport(const TCustomPDFExport &) = delete;
    TCustomPDFExport &operator=(const TCustomPDFExport &) = delete;

    // The library's name, shared by all exports; the platform's file name for it is looked
    // for in the program's folder (an absolute path is taken as it is).
    static QString DLLName;

    QByteArray Filename;        // output path, 8-bit
    bool InMemoryMode = false;  // the engine writes the file itself
    // The document information BeginDoc sends along: text properties of the PDF engine library
    // (5 Title, 6 Subject, ...) with their texts. Empty ones are left out of the file.
    std::map<int, QString> DocumentInfo;

    void BeginDoc();
    void StartPage(int pagew, int pageh, int xres, int yres, int rotation);
    void CloseCanvas();
    int DrawBitmap(int x, int y, int w, int h, const PDFE_Bitmap *bitmap);
    // Puts words (boxes in the page's pixel units, UTF-8 texts) on the open page as
    // invisible text over its image: call after DrawBitmap. Throws when the library has no
    // text layer or the words cannot be placed.
    void DrawText(const PDFE_TextWord *words, int count);
    // Places an image from EncodeImage.
    int DrawImage(int x, int y, int w, int h, void *image);
    void EndPage();
    void EndDoc();
    // Ends the document without completing it: the library removes what it wrote so far, and
    // an earlier file at Filename stays as it was.
    void Abandon();

    // Encodes a bitmap for DrawImage. Any thread, several at once, once BeginDoc has loaded
    // the library and until the export ends; null with the library's reason in *error.
    void *EncodeImage(const PDFE_Bitmap &bitmap, QString *error) const;
    // Releases an image from EncodeImage (null is ignored); same threads as EncodeImage.
    void FreeImage(void *image) const;

    // The library file this export loads: the first of the program's library folders that
    // holds it (libraryfolders.h), else the path beside the program.
    static QString LibraryPath();

private:
    static void PDFE_CALL onMessage(void *context, int32_t code, const char *message);
    void requireDocument(const char *operation) const;
    // Places a bitmap or an encoded image through the draw record.
    int draw(int code, const char *operation, int x, int y, int w, int h, const void *handle);
    // Runs an engine action; a failure ends the document with "Error in <operation>!".
    void act(int code, void *pointer, const char *operation);
    [[noreturn]] void fail(const QString &message);
    void endInstance();
    void release();

    std::unique_ptr<TPDFEngineLibrary> m_library;
    void *m_instance = nullptr;
    QString m_created;          // creation date of the document, "D:YYYYMMDDhhmmss"
    QString m_lastMessage;
};
