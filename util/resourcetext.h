#pragma once

// Finding and reading the resources built into the program.

#include <QString>

class QIODevice;

// Path of the built-in resource with this name and type ("jsQM", "HTML"), matched without
// regard to letter case; empty when there is none.
QString FindResourcePath(const QString &name, const QString &type);

// Text of the resource `name` of type `type`. A missing resource throws.
QString ResourceText(const QString &name, const QString &type);

// The whole stream from its start, as 8-bit text of this system; empty for no stream.
QString StreamToText(QIODevice *stream);
