// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ArchiveEvents.h"

#include "archive/ZipComponent.h"
#include "maintenance/BatchProgress.h"

#include <QDir>
#include <QFileInfo>

#include <exception>
#include <new>

namespace kelmar {

bool ArchiveEvents::isSamePath(const QString& reported, const QString& typed)
{
    if (typed.isEmpty())
        return false;
    return reported == typed ||
           QDir::cleanPath(reported) == QDir::cleanPath(QFileInfo(typed).absoluteFilePath());
}

ArchiveEvents::ArchiveEvents(ProgressSink& sink, BatchQuestions& questions,
                             std::atomic<bool>* endProgram, QObject* parent)
    : QObject(parent), m_sink(sink), m_questions(questions), m_endProgram(endProgram)
{
}

ArchiveEvents::ArchiveEvents(ProgressSink& sink, BatchQuestions& questions,
                             std::atomic<bool>* endProgram, ZipComponent& zip, QObject* parent)
    : ArchiveEvents(sink, questions, endProgram, parent)
{
    connect(&zip, &ZipComponent::fileProgress, this, &ArchiveEvents::fileProgress,
            Qt::DirectConnection);
    connect(&zip, &ZipComponent::entryListed, this, &ArchiveEvents::entryListed,
            Qt::DirectConnection);
}

QString ArchiveEvents::progressBar(int percent)
{
    percent = qBound(0, percent, 100);
    int bars = percent / 10;
    const int rest = percent % 10;
    if (rest > 5 || (rest == 5 && bars % 2 == 1))
        ++bars;
    return QString(bars, u'|') + QString(10 - bars, u'.');
}

void ArchiveEvents::entryListed(const QString& name, qint64)
{
    m_listedNames.append(name);
}

void ArchiveEvents::fileProgress(const QString& name, int percent)
{
    // Anything unexpected asks the user whether to go on, as the window always has.
    int code = 0;
    try {
        handleProgress(name, percent);
        return;
    } catch (const std::bad_alloc&) {
        code = 7; // out of memory
    } catch (const std::exception&) {
        code = 5; // any other failure inside the handler
    }
    // A batch that is stopping already (Stop, or No here from an archive running beside this
    // one) is not asked again: the archive ends with it.
    if (m_sink.stopRequested() || (m_endProgram && m_endProgram->load()))
        return;
    const MsgAnswer answer =
        m_questions.messageBox(QStringLiteral("Unexpected Error ") + QString::number(code) + u'\r' +
                                   QStringLiteral("Do you want to try to continue?"),
                               QStringLiteral("Uh oh!"), MsgIcon::Critical, MsgButtons::YesNo,
                               Question::ContinueAfterError);
    if (answer != MsgAnswer::Yes) {
        if (m_endProgram)
            *m_endProgram = true;
        emit quitRequested();
    }
}

void ArchiveEvents::advance()
{
    if (m_sharedFinished) {
        m_sharedFinished->finishOne();
        return;
    }
    ++m_currentFileNumber;
    if (m_currentFileNumber > m_totalFileCount)
        m_currentFileNumber = m_totalFileCount;
}

void ArchiveEvents::archiveFinished()
{
    advance();
    showProgress(QString(), 100);
}

void ArchiveEvents::handleProgress(const QString& name, int percent)
{
    percent = qBound(0, percent, 100);
    if (percent == 100) {
        if (m_operationKind == ZipBatch) {
            if (!isSamePath(name, m_rules.infoFile))
                advance();
        } else if (m_operationKind == UnzipBatch) {
            advance();
        }
    }
    showProgress(name, percent);
}

void ArchiveEvents::showProgress(const QString& name, int percent)
{
    const auto show = [&] {
        const QString bar = QStringLiteral(" [") + progressBar(percent) + u']';
        QString text;
        switch (m_operationKind) {
        case ZipBatch:
            text = QStringLiteral("Zipping File %1 of %2")
                       .arg(m_currentFileNumber)
                       .arg(m_totalFileCount) +
                   bar;
            break;
        case UnzipBatch:
            text = QStringLiteral("Unzipping ") + name + bar;
            break;
        case RezipBatch:
            text = QStringLiteral("Rezipping File %1 of %2")
                       .arg(m_currentFileNumber)
                       .arg(m_totalFileCount) +
                   bar;
            break;
        default:
            return; // batches with their own status text
        }
        if (text != m_lastStatus) {
            m_lastStatus = text;
            m_sink.setStatusText(text);
        }
    };
    if (!m_sharedFinished) {
        show();
        return;
    }
    m_sharedFinished->show(m_totalFileCount, [&](int number) {
        m_currentFileNumber = number;
        show();
    });
}

} // namespace kelmar
