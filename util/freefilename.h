#pragma once

#include <QSet>
#include <QString>
#include <functional>

// Names for files saved into a folder the user keeps (the Downloads folder): a file already
// there is never replaced; the new one gets a number before its extension instead, the way
// desktop browsers do it: "book.epub", "book (1).epub", "book (2).epub".

// The first of name, "stem (1).ext", "stem (2).ext", ... for which taken() is false. The
// extension is the part after the last dot ("tar.gz" and the like stay whole); a name that
// starts with its only dot (".profile") has none. A name with a folder part or none at all is
// first reduced to a plain file name ("download" when nothing is left).
QString NumberedFileName(const QString &name, const std::function<bool(const QString &)> &taken);

// NumberedFileName against the files in folder and the names in reserved (files being written
// that may not exist yet).
QString FreeFileName(const QString &folder, const QString &name, const QSet<QString> &reserved = {});
