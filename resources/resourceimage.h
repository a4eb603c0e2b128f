#pragma once

#include <QString>

class QLabel;

// Shows the PNG stored as raw-data resource `name` in the label. A missing resource throws.
void LoadPngResource(const QString &name, QLabel *image);
