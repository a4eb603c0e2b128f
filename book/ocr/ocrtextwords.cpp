#include "ocrtextwords.h"

#include <cmath>

OcrTextWords::OcrTextWords(const OcrPage &page, QSize pageSize)
{
    const double sx = page.imageSize.width() > 0 ? double(pageSize.width()) / page.imageSize.width() : 1.0;
    const double sy = page.imageSize.height() > 0 ? double(pageSize.height()) / page.imageSize.height() : 1.0;
    m_texts.reserve(page.words.size());
    m_words.reserve(page.words.size());
    for (const OcrWord &word : page.words) {
        m_texts.push_back(word.text.toUtf8());
        const int left = int(std::lround(word.box.left() * sx)), top = int(std::lround(word.box.top() * sy));
        const int right = int(std::lround((word.box.right() + 1) * sx));
        const int bottom = int(std::lround((word.box.bottom() + 1) * sy));
        m_words.push_back({left, top, right - left, bottom - top, m_texts.back().constData()});
    }
}
