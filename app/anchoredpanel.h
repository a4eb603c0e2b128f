#pragma once

#include <QList>
#include <QWidget>

// A panel whose children keep fixed positions, some of them tied to its right edge: placed
// at their design positions for the design width, they keep their distance to the right
// edge (or stretch with it) when the panel's width changes.
class TAnchoredPanel : public QWidget
{
    Q_OBJECT
public:
    TAnchoredPanel(int designWidth, QWidget *parent = nullptr);

    // Keeps child at its distance from the right edge.
    void anchorRight(QWidget *child);
    // Keeps child's left edge and its distance from the right edge: it grows with the panel.
    void anchorLeftRight(QWidget *child);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Anchor
    {
        QWidget *child;
        int rightGap;
        bool stretch;
    };
    void place(const Anchor &anchor);

    int m_designWidth;
    QList<Anchor> m_anchors;
};
