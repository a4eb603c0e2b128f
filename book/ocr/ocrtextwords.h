#pragma once

#include "ocrpage.h"
#include "pdfe.h"

#include <QByteArray>
#include <QSize>
#include <vector>

// A page's recognised words as the PDF engine library takes them (TCustomPDFExport::DrawText):
// boxes in the pixels of a page of pageSize (scaled from the recognised image's size when the
// page is drawn at another size), texts as UTF-8 kept alive by this object.
class OcrTextWords
{
public:
    OcrTextWords(const OcrPage &page, QSize pageSize);
    OcrTextWords(const OcrTextWords &) = delete;
    OcrTextWords &operator=(const OcrTextWords &) = delete;

    const PDFE_TextWord *data() const { return m_words.data(); }
    int count() const { return int(m_words.size()); }

private:
    std::vector<QByteArray> m_texts;
    std::vector<PDFE_TextWord> m_words;
};
