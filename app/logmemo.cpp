#include "logmemo.h"

#include <QScrollBar>
#include <QTextBlock>

TLogMemo::TLogMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

QStringList TLogMemo::lines() const
{
    if (document()->isEmpty())
        return m_oneEmptyLine ? QStringList{QString()} : QStringList{};
    return toPlainText().split(QLatin1Char('\n'));
}

void TLogMemo::addLine(const QString &text)
{
    if (document()->isEmpty()) {
        setPlainText(m_oneEmptyLine ? QLatin1Char('\n') + text : text);
        m_oneEmptyLine = document()->isEmpty();
    } else {
        appendPlainText(text);
        m_oneEmptyLine = false;
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TLogMemo::setLastLine(const QString &text)
{
    QTextCursor cursor(document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    m_oneEmptyLine = document()->isEmpty();
}

void TLogMemo::clearLines(const QString &text)
{
    setPlainText(text);
    m_oneEmptyLine = text.isEmpty();
}
