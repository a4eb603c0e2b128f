#pragma once

#include <QWidget>

// The panel that hosts the browser; the browser always fills it.
class TCEFWindowParent : public QWidget
{
    Q_OBJECT
public:
    explicit TCEFWindowParent(QWidget *parent = nullptr);

    void setBrowserWidget(QWidget *browser);
};
