#include "aboutbox.h"

#include "resourceimage.h"
#include "siteurls.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

TAboutfm::TAboutfm(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    const QString product = QStringLiteral("Quillmoor Downloader");
    setWindowTitle(product);
    setFixedSize(445, 260);

    auto *icon = new QLabel(this);
    icon->setGeometry(24, 24, 49, 45);
    LoadPngResource(QStringLiteral("ICONBMP"), icon);

    auto *name = new QLabel(product, this);
    QFont big = name->font();
    big.setPixelSize(20);
    big.setBold(true);
    name->setFont(big);
    name->setGeometry(96, 30, 330, 30);

    auto *version = new QLabel(QStringLiteral("Version:") + VersionText(), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(96, 80, 330, 20);

    auto *link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(MakerSiteUrl()), this);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(false);
    link->setGeometry(96, 120, 330, 20);
    connect(link, &QLabel::linkActivated, this, [](const QString &url) { QDesktopServices::openUrl(QUrl(url)); });

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(185, 200, 75, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString TAboutfm::VersionText()
{
    return QStringLiteral(QM_VERSION);
}

void TAboutfm::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1)); // one-pixel black frame
}
