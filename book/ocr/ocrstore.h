#pragma once

#include "ocrpage.h"

#include <QString>
#include <atomic>
#include <optional>

class OcrRecognizer;

// Recognised text kept beside the page files, so that building a book again does not
// recognise its pages again: <page folder>/ocr/<page name>.ocr (0001.jpg -> ocr/0001.ocr), a
// small JSON file with the words, the language and what the result was made from (the page
// file's size, modification time and a hash of its first and last 64 KB).

// Where the result for a page file lives.
QString OcrResultPath(const QString &pageFile);

// The kept result for the page file in that language; nothing when there is none, it cannot
// be read, it was made for another language or the page file has changed since. A result
// whose image size or word boxes are out of bounds (none of the recogniser's) is damaged:
// nothing.
std::optional<OcrPage> LoadOcrResult(const QString &pageFile, const QString &language);

// Keeps a result for the page file as it is now (replacing the file atomically). Throws
// AppError when the page file or the result cannot be written.
void SaveOcrResult(const QString &pageFile, const OcrPage &page);

// The kept result when it is current, else recognises the page with recognizer and keeps
// the result. Throws AppError when recognition fails; a result that cannot be kept is still
// returned. A recognition abandoned through stop (OcrStopped) keeps nothing.
OcrPage LoadOrRecognize(const QString &pageFile, const QString &language, OcrRecognizer &recognizer,
                        const std::atomic_bool *stop = nullptr);
