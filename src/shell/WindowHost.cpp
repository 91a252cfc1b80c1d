// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/WindowHost.h"

#include "maintenance/BatchRunner.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <QThread>

#include <type_traits>

namespace kelmar {

WindowHost::WindowHost(frmKelmar& window, BatchRunner& runner) : m_window(window), m_runner(runner)
{
}

template <typename F> auto WindowHost::onUi(F&& f) -> decltype(f())
{
    using R = decltype(f());
    if (QThread::currentThread() == m_window.thread())
        return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(&m_window, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(&m_window, std::forward<F>(f), Qt::BlockingQueuedConnection,
                                  &result);
        return result;
    }
}

void WindowHost::write_log(const QString& line)
{
    // Queued, not waited for: the lines keep their order, and a batch that logs a line per
    // file never waits for the screen.
    QMetaObject::invokeMethod(
        &m_window, [this, line] { m_window.write_log(line); }, Qt::QueuedConnection);
}

void WindowHost::clear_log()
{
    onUi([this] { m_window.clear_log(); });
}

void WindowHost::setStatusText(const QString& text)
{
    QMutexLocker lock(&m_statusMutex);
    m_pendingStatus = text;
    if (m_statusPosted)
        return;
    m_statusPosted = true;
    QMetaObject::invokeMethod(this, &WindowHost::flushStatusText, Qt::QueuedConnection);
}

void WindowHost::flushStatusText()
{
    QString text;
    {
        QMutexLocker lock(&m_statusMutex);
        text = m_pendingStatus;
        m_statusPosted = false;
    }
    m_window.setProgressText(text);
}

void WindowHost::batchProgress(const BatchCount& count)
{
    QMutexLocker lock(&m_statusMutex);
    m_pendingCount = count;
    if (m_countPosted)
        return;
    m_countPosted = true;
    QMetaObject::invokeMethod(this, &WindowHost::flushCount, Qt::QueuedConnection);
}

void WindowHost::flushCount()
{
    BatchCount count;
    {
        QMutexLocker lock(&m_statusMutex);
        count = m_pendingCount;
        m_countPosted = false;
    }
    m_window.setBatchProgress(count);
}

void WindowHost::showCreditLine()
{
    setStatusText(frmKelmar::creditLine());
}

bool WindowHost::stopRequested() const
{
    return m_runner.stopRequested();
}

// Once the user has closed the window during a batch, nothing more is asked: the window
// goes as soon as the batch has stopped, and a question would keep it open until answered.
// Each question then takes the answer that changes least, as on the command line.
MsgAnswer WindowHost::messageBox(const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, Question)
{
    return onUi([&] {
        if (!m_window.stoppingToClose())
            return Dialogs::messageBox(&m_window, text, title, icon, buttons);
        switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        case MsgButtons::AbortRetryIgnore:
            return MsgAnswer::Abort;
        default:
            return MsgAnswer::Cancel;
        }
    });
}

std::optional<QString> WindowHost::inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText)
{
    return onUi([&]() -> std::optional<QString> {
        if (m_window.stoppingToClose())
            return std::nullopt;
        return Dialogs::inputBox(&m_window, prompt, title, defaultText);
    });
}

} // namespace kelmar
