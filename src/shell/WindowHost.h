// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"

#include <QMutex>
#include <QObject>
#include <QString>

class frmKelmar;

namespace kelmar {

class BatchRunner;

// The window's progress sink and questions for a running batch. The batch runs on the
// runner's thread; everything that touches a widget is handed to the window's thread, and
// questions wait there for their answer. The busy state, the beep and the refresh after a
// batch are the window's own business (frmKelmar's batch frame), not the batch's.
class WindowHost : public QObject, public ProgressSink, public BatchQuestions
{
    Q_OBJECT

public:
    WindowHost(frmKelmar& window, BatchRunner& runner);

    void write_log(const QString& line) override;
    void clear_log() override;
    void setStatusText(const QString& text) override;
    void showCreditLine() override;
    bool stopRequested() const override;
    void batchProgress(const BatchCount& count) override;

    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;

private:
    // Runs f on the window's thread and waits for its result.
    template <typename F> auto onUi(F&& f) -> decltype(f());
    void flushStatusText();
    void flushCount();

    frmKelmar& m_window;
    BatchRunner& m_runner;

    // Progress arrives far faster than anyone can read it: the newest text waits here and
    // one repaint at a time is posted.
    QMutex m_statusMutex;
    QString m_pendingStatus;
    bool m_statusPosted = false;
    BatchCount m_pendingCount;
    bool m_countPosted = false;
};

} // namespace kelmar
