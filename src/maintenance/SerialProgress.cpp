// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/SerialProgress.h"

namespace kelmar {

void SerialProgress::write_log(const QString& line)
{
    if (m_log) {
        m_log->append(line);
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink.write_log(line);
}

void SerialProgress::clear_log()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink.clear_log();
}

void SerialProgress::setStatusText(const QString& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink.setStatusText(text);
}

void SerialProgress::showCreditLine()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink.showCreditLine();
}

bool SerialProgress::stopRequested() const
{
    return stopRequestedUnder(m_sink, m_lock);
}

void SerialProgress::batchProgress(const BatchCount& count)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink.batchProgress(count);
}

MsgAnswer SerialProgress::messageBox(const QString& text, const QString& title, MsgIcon icon,
                                     MsgButtons buttons, Question kind)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_questions.messageBox(text, title, icon, buttons, kind);
}

std::optional<QString> SerialProgress::inputBox(const QString& prompt, const QString& title,
                                                const QString& defaultText)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_questions.inputBox(prompt, title, defaultText);
}

void SerialProgress::writeHeldLog(ProgressSink& sink, std::mutex& lock, const QStringList& lines)
{
    std::lock_guard<std::mutex> guard(lock);
    for (const QString& line : lines)
        sink.write_log(line);
}

void SerialProgress::countUnder(ProgressSink& sink, std::mutex& lock, const BatchCount& count)
{
    if (count.doing.isEmpty())
        return;
    std::lock_guard<std::mutex> guard(lock);
    sink.batchProgress(count);
}

bool SerialProgress::stopRequestedUnder(const ProgressSink& sink, std::mutex& lock)
{
    std::lock_guard<std::mutex> guard(lock);
    return sink.stopRequested();
}

} // namespace kelmar
