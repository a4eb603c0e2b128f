#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

// A recognised word: its text, its box in the page image's pixels (top left origin) and how
// sure the recogniser is of it (0 to 100).
struct OcrWord
{
    QString text;
    QRect box;
    float confidence = 0;

    bool operator==(const OcrWord &) const = default;
};

// The text recognised on one page image, words in reading order.
struct OcrPage
{
    QString language;   // the model's name, e.g. "eng" or "deu+eng"
    QSize imageSize;    // pixels of the page image the boxes refer to
    QList<OcrWord> words;

    bool operator==(const OcrPage &) const = default;
};
