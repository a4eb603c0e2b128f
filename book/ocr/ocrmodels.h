#pragma once

#include <QString>
#include <QStringList>

// The recognition models (Tesseract's *.traineddata files) installed on this machine.

// The folder the models are read from: TESSDATA_PREFIX when set (the folder holding the
// files, or its parent with a "tessdata" folder), else Debian's tessdata folder.
QString OcrModelFolder();

// The installed languages ("eng", "deu", ...), sorted; the orientation model "osd" is not a
// language and is left out.
QStringList InstalledOcrLanguages();

// Whether every language of a "+"-joined list such as "deu+eng" is installed.
bool IsOcrLanguageInstalled(const QString &language);

// The Debian package that installs a language's model: "tesseract-ocr-chi-sim" for
// "chi_sim". The one to suggest when no language is installed: DefaultOcrPackage().
QString OcrModelPackage(const QString &language);
inline QString DefaultOcrPackage() { return QStringLiteral("tesseract-ocr-eng"); }
