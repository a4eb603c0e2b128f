#include "windowparent.h"

#include <QVBoxLayout>

TCEFWindowParent::TCEFWindowParent(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void TCEFWindowParent::setBrowserWidget(QWidget *browser)
{
    layout()->addWidget(browser);
}
