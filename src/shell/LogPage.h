// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browse/OperationLog.h"

#include <QWidget>

class QPlainTextEdit;

namespace kelmar {

// The "Log" tab: the operation log's text, following its newest line.
class LogPage : public QWidget
{
    Q_OBJECT
public:
    explicit LogPage(QWidget* parent = nullptr);

    void write(const QString& line);
    void clear();
    const QString& text() const { return m_log.text(); }

private:
    QPlainTextEdit* txtLog = nullptr;
    OperationLog m_log;
};

} // namespace kelmar
