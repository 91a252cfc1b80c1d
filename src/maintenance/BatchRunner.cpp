// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/BatchRunner.h"

#include <QEventLoop>
#include <QThread>

#include <exception>

namespace kelmar {

BatchRunner::BatchRunner(QObject* parent) : QObject(parent) {}

BatchRunner::~BatchRunner()
{
    if (!m_thread)
        return;
    // Nobody is left to tell that it finished.
    ++m_run;
    requestStop();
    waitForThread();
    m_thread->wait();
    delete m_thread;
}

bool BatchRunner::start(const QString& name, Operation operation, ProgressSink& sink,
                        BatchQuestions& questions)
{
    if (busy())
        return false;
    m_stop.store(false);
    m_done.store(false);
    m_name = name;
    m_thread = QThread::create([this, operation = std::move(operation), &sink, &questions] {
        try {
            operation(sink, questions);
        } catch (const std::exception& e) {
            questions.messageBox(
                QStringLiteral("Unexpected Error: %1").arg(QString::fromLocal8Bit(e.what())),
                QStringLiteral("Kelmar"), MsgIcon::Critical, MsgButtons::Ok);
        }
        m_done.store(true);
    });
    m_thread->setObjectName(QStringLiteral("batch: ") + m_name);
    const quint64 run = ++m_run;
    // Queued to this thread, which owns the runner: the batch's thread has left the
    // operation when it arrives.
    connect(
        m_thread, &QThread::finished, this,
        [this, run] {
            if (run == m_run)
                reap();
        },
        Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void BatchRunner::reap()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    ++m_run;
    m_name.clear();
    emit finished();
}

// Returns once the batch has left its operation, running this thread's events meanwhile (a
// question the batch asks is answered by them). QThread::finished comes after m_done is set:
// either the loop sees the flag, or the signal ends the loop.
void BatchRunner::waitForThread()
{
    QEventLoop loop;
    connect(m_thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    if (!m_done.load())
        loop.exec();
}

void BatchRunner::stopAndWait()
{
    if (!m_thread)
        return;
    requestStop();
    waitForThread();
    reap();
}

} // namespace kelmar
