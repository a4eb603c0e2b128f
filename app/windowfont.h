#pragma once

#include <QFont>

// The window's typeface at a pixel size, as it was designed (a sans-serif where Tahoma is missing).
inline QFont WindowFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
