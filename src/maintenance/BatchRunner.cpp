#include "maintenance/BatchRunner.h"

#include "maintenance/BatchHost.h"

#include <QCoreApplication>
#include <QThread>

#include <exception>

namespace kelmar {

BatchRunner::BatchRunner(QObject* parent) : QObject(parent) {}

BatchRunner::~BatchRunner()
{
    if (!m_thread.joinable())
        return;
    // Nobody is left to tell that it finished.
    requestStop();
    waitForThread();
    m_thread.join();
}

bool BatchRunner::start(const QString& name, Operation operation, BatchHost& host,
                        BatchSnapshot snapshot)
{
    if (busy())
        return false;
    m_stop.store(false);
    m_done.store(false);
    m_snapshot = std::move(snapshot);
    m_name = name;
    m_thread = std::thread([this, operation = std::move(operation), &host] {
        QThread::currentThread()->setObjectName(QStringLiteral("batch: ") + m_name);
        try {
            operation(host);
        } catch (const std::exception& e) {
            host.messageBox(
                QStringLiteral("Unexpected Error: %1").arg(QString::fromLocal8Bit(e.what())),
                QStringLiteral("Kelmar"), MsgIcon::Critical, MsgButtons::Ok);
        }
        m_done.store(true);
        QMetaObject::invokeMethod(this, &BatchRunner::reap, Qt::QueuedConnection);
    });
    return true;
}

void BatchRunner::reap()
{
    if (!m_thread.joinable() || !m_done.load())
        return;
    m_thread.join();
    m_name.clear();
    emit finished();
}

void BatchRunner::waitForThread()
{
    while (!m_done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void BatchRunner::stopAndWait()
{
    if (!m_thread.joinable())
        return;
    requestStop();
    waitForThread();
    reap();
}

} // namespace kelmar
