#pragma once

#include <QDialog>

// The About box: product name, icon, version and a link to the maker's site.
class TAboutfm : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutfm(QWidget *parent = nullptr);

    // "major.minor.release.build" of this build.
    static QString VersionText();

protected:
    void paintEvent(QPaintEvent *event) override;
};
