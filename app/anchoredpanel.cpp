#include "anchoredpanel.h"

TAnchoredPanel::TAnchoredPanel(int designWidth, QWidget *parent) : QWidget(parent), m_designWidth(designWidth)
{
}

void TAnchoredPanel::anchorRight(QWidget *child)
{
    m_anchors.append({child, m_designWidth - child->x() - child->width(), false});
    place(m_anchors.back());
}

void TAnchoredPanel::anchorLeftRight(QWidget *child)
{
    m_anchors.append({child, m_designWidth - child->x() - child->width(), true});
    place(m_anchors.back());
}

void TAnchoredPanel::place(const Anchor &anchor)
{
    QWidget *c = anchor.child;
    if (anchor.stretch)
        c->resize(qMax(0, width() - c->x() - anchor.rightGap), c->height());
    else
        c->move(width() - anchor.rightGap - c->width(), c->y());
}

void TAnchoredPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (const Anchor &anchor : std::as_const(m_anchors))
        place(anchor);
}
