#pragma once

#include "encodedimage.h"
#include "pdfe.h"
#include "pdfwriter.h"
#include "textlayer.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace pdfe {

// One document being written. The entry points (exports.cpp) forward to it.
class Engine
{
public:
    Engine(PDFE_MessageCallback callback, void *context);
    ~Engine();

    void setInteger(int property, int value);
    void setText(int property, const char16_t *text);
    void initializePage(const TPDFE_InitRec &page);
    int action(int code, void *pointer);
    int drawText(const PDFE_TextWord *words, int count);

    void message(int code, const std::string &text) const;
    void message(int code, const char *text) const noexcept;

private:
    int beginDoc(const char *path);
    int startPage();
    int drawBitmap(TPDFE_DrawRec *record);
    int drawImage(TPDFE_DrawRec *record);
    int placeImage(const EncodedImage &image, TPDFE_DrawRec *record);
    // The object of the image's ICC profile, written with the first image that has it.
    int iccProfileObject(const EncodedImage &image);
    int endPage();
    int endDoc();
    int writeDoc(const char *path);
    int closeDoc();
    void discard();
    // 0 while the file is being written well; else -2, and the message tells why.
    int writeStatus();
    double scaleX() const;
    double scaleY() const;

    PDFE_MessageCallback m_callback;
    void *m_context;
    std::map<int, int> m_integers;
    std::map<int, std::u16string> m_texts;

    PdfWriter m_writer;
    std::string m_tempPath;
    std::string m_outputPath; // for messages: the file the user knows
    bool m_docOpen = false;
    bool m_completed = false;
    bool m_written = false;
    int m_catalog = 0, m_pages = 0, m_info = 0;
    std::vector<int> m_pageObjects;
    std::map<std::array<std::uint8_t, 32>, int> m_iccProfiles; // object numbers by the profiles' SHA-256

    TPDFE_InitRec m_page{};
    bool m_pageOpen = false;
    std::string m_pageContent;
    std::string m_pageResources;
    int m_imageCount = 0;
    TextLayer m_textLayer;
    bool m_pageHasText = false;
};

} // namespace pdfe
