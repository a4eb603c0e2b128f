#pragma once

#include <QString>

// An address to open when the window's browser is ready, instead of the home page (given on
// the command line). The first window takes it; later ones open the home page.
void SetStartUrl(const QString &url);
QString TakeStartUrl();
