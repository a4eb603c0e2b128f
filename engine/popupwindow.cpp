#include "popupwindow.h"

#include "browserpage.h"

TPopupWindow::TPopupWindow(QWebEngineProfile *profile, int browserId)
    : m_page(new TBrowserPage(profile, browserId, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setPage(m_page);
    resize(800, 600);
    connect(m_page, &QWebEnginePage::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_page, &QWebEnginePage::windowCloseRequested, this, &QWidget::close);
}
