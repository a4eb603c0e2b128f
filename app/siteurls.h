#pragma once

#include <QString>

// Addresses of the outside world the program opens.
QString HomeUrl();          // the library site's home page
QString HelpUrl();          // the help page, opened in the user's own browser
QString MakerSiteUrl();     // the link of the About box

// Tests point the browser at a site of their own.
void SetHomeUrl(const QString &url);
