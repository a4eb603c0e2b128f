#include "resourceimage.h"

#include "apperror.h"
#include "resourcetext.h"

#include <QLabel>
#include <QPixmap>

void LoadPngResource(const QString &name, QLabel *image)
{
    const QString path = FindResourcePath(name, QStringLiteral("RCDATA"));
    QPixmap pixmap;
    if (path.isEmpty() || !pixmap.load(path, "PNG"))
        throw AppError(QStringLiteral("Resource %1 not found").arg(name));
    image->setPixmap(pixmap);
}
