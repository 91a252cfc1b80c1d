#include "maintenance/ArchiveEvents.h"

#include "archive/ZipComponent.h"
#include "fs/FlushToDisk.h"
#include "fs/Path.h"
#include "fs/RemoveUnchanged.h"
#include "maintenance/BatchHost.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QDir>
#include <QFileInfo>

#include <exception>
#include <new>

namespace kelmar {

namespace {

// The component reports clean absolute paths; the info file's path is as the user typed it.
// Comparing them as typed would take "/roms/../info.nfo" for a source and delete it.
bool isSamePath(const QString& reported, const QString& typed)
{
    if (typed.isEmpty())
        return false;
    return reported == typed ||
           QDir::cleanPath(reported) == QDir::cleanPath(QFileInfo(typed).absoluteFilePath());
}

} // namespace

ArchiveEvents::ArchiveEvents(BatchHost& host, ZipComponent& zip, QObject* parent)
    : QObject(parent), m_host(host), m_zip(zip)
{
    connect(&zip, &ZipComponent::fileProgress, this, &ArchiveEvents::fileProgress,
            Qt::DirectConnection);
    connect(&zip, &ZipComponent::entryListed, this, &ArchiveEvents::entryListed,
            Qt::DirectConnection);
    connect(&zip, &ZipComponent::archiveWritten, this, &ArchiveEvents::archiveWritten,
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
    if (m_host.stopRequested())
        return;
    const MsgAnswer answer =
        m_host.messageBox(QStringLiteral("Unexpected Error ") + QString::number(code) + u'\r' +
                              QStringLiteral("Do you want to try to continue?"),
                          QStringLiteral("Uh oh!"), MsgIcon::Critical, MsgButtons::YesNo,
                          Question::ContinueAfterError);
    if (answer != MsgAnswer::Yes) {
        m_host.requestStop();
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
            const bool infoFile = isSamePath(name, m_rules.infoFile);
            if (!infoFile)
                advance();
            if (m_rules.deleteSources && !infoFile && basMain::IsListedFile(name))
                m_pendingDeletes.append(name);
        } else if (m_operationKind == UnzipBatch) {
            advance();
            if (m_rules.renameExtracted)
                recordRename(name);
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
            m_host.setStatusText(text);
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

// A source file is deleted only once the archive that holds it has been written in full (until
// zip_close succeeds the new archive exists only as a temporary file), and only while it is
// still the file that was read: one rewritten or replaced since is not what the archive holds.
void ArchiveEvents::archiveWritten(bool committed)
{
    const QStringList files = std::move(m_pendingDeletes);
    m_pendingDeletes.clear();
    if (!committed)
        return;
    // A source that changed while it was read never reported itself finished; it stays, and
    // says so like every other source that stays.
    if (m_operationKind == ZipBatch) {
        if (m_rules.deleteSources) {
            for (const QString& file : m_zip.lastOutcome().changedWhileRead) {
                if (isSamePath(file, m_rules.infoFile) || !basMain::IsListedFile(file))
                    continue;
                const QString why = QStringLiteral("it changed while it was being zipped");
                m_host.write_log(QStringLiteral("Not deleted: ") + file + QStringLiteral(" (") +
                                 why + u')');
                m_keptSources.append(file + QStringLiteral(": ") + why);
            }
        }
    }
    if (files.isEmpty())
        return;
    // The archive reaches the disk before the first of its sources goes: after a crash the
    // user must have one or the other.
    const int flushError = fs::flushFileAndFolder(m_zip.archivePath());
    for (const QString& file : files) {
        if (!basMain::IsListedFile(file))
            continue;
        const StoredSource* stored = m_zip.lastOutcome().find(file);
        const QString why = flushError != 0
                                ? QStringLiteral("its archive could not be flushed to disk: ") +
                                      fs::systemError(flushError)
                            : stored ? fs::removeIfUnchanged(stored->nativePath, stored->identity)
                                     : QStringLiteral("it was not stored in full");
        if (why.isEmpty())
            continue;
        m_host.write_log(QStringLiteral("Not deleted: ") + file + QStringLiteral(" (") + why +
                         u')');
        m_keptSources.append(file + QStringLiteral(": ") + why);
    }
}

void ArchiveEvents::recordRename(const QString& name)
{
    QString folder = fs::withSeparator(m_zip.extractFolder());
    const QString base = basMain::GetFileName(basMain::StripExtension(m_zip.archivePath()));
    QString target = folder + base + basMain::GetExtension(name);
    switch (m_rules.renameCase) {
    // One character at a time, so that a byte that is not UTF-8 stays that byte.
    case UseLowerCase:
        m_renameSources.append(NameRules::lowerCase(name));
        target = NameRules::lowerCase(target);
        break;
    case UseUpperCase:
        m_renameSources.append(NameRules::upperCase(name));
        target = NameRules::upperCase(target);
        break;
    default:
        m_renameSources.append(name);
        break;
    }
    const QString extension = basMain::GetExtension(target);
    if (!extension.isEmpty() && target.endsWith(extension + extension))
        target.chop(extension.size());
    m_renameTargets.append(target);
}

} // namespace kelmar
