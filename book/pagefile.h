#pragma once

#include <QString>

// Page files: <WorkFolder>/<dirid>/<n>.jpg, n with at least four digits (0007.jpg,
// 12345.jpg, -0005.jpg). Their content is the image as captured, normally PNG.
QString PageFileName(int page);
QString PageFolderPath(const QString &dirid);           // ends with "/"
QString PageFilePath(const QString &dirid, int page);
