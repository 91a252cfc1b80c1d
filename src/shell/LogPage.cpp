// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/LogPage.h"

#include "shell/Widgets.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace kelmar {

using namespace widgets;

LogPage::LogPage(QWidget* parent) : QWidget(parent)
{
    auto* l = new QVBoxLayout;
    makeTabPanel(this, 4, l);
    txtLog = named(new QPlainTextEdit, "txtLog");
    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    l->addWidget(txtLog);
}

void LogPage::write(const QString& line)
{
    QScrollBar* bar = txtLog->verticalScrollBar();
    if (m_log.write(line) == OperationLog::Append::Trimmed) {
        // The older half is gone: show what is left from the newest line back.
        txtLog->setPlainText(m_log.text());
        txtLog->moveCursor(QTextCursor::End);
        bar->setValue(bar->maximum());
        return;
    }
    // Appending at the end keeps a long log cheap; the view follows the end only when the
    // user has not scrolled away from it.
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(txtLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(line + u'\n');
    if (atEnd)
        bar->setValue(bar->maximum());
}

void LogPage::clear()
{
    m_log.clear();
    txtLog->clear();
}

} // namespace kelmar
