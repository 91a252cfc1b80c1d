// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/SourceDeletion.h"

#include "archive/ZipComponent.h"
#include "fs/FlushToDisk.h"
#include "fs/Path.h"
#include "fs/RemoveUnchanged.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchProgress.h"
#include "names/basMain.h"

namespace kelmar {

SourceDeletion::SourceDeletion(ProgressSink& log, ZipComponent& zip, const Rules& rules,
                               QObject* parent)
    : QObject(parent), m_log(log), m_zip(zip), m_rules(rules)
{
    connect(&zip, &ZipComponent::fileProgress, this, &SourceDeletion::fileFinished,
            Qt::DirectConnection);
    connect(&zip, &ZipComponent::archiveWritten, this, &SourceDeletion::archiveWritten,
            Qt::DirectConnection);
}

void SourceDeletion::fileFinished(const QString& name, int percent)
{
    if (percent < 100 || !m_rules.deleteSources)
        return;
    if (!ArchiveEvents::isSamePath(name, m_rules.infoFile) && basMain::IsListedFile(name))
        m_pendingDeletes.append(name);
}

void SourceDeletion::keep(const QString& file, const QString& why)
{
    m_log.write_log(QStringLiteral("Not deleted: ") + file + QStringLiteral(" (") + why + u')');
    m_keptSources.append(file + QStringLiteral(": ") + why);
}

void SourceDeletion::archiveWritten(bool committed)
{
    const QStringList files = std::exchange(m_pendingDeletes, {});
    if (!committed || !m_rules.deleteSources)
        return;
    // A source that changed while it was read never reported itself finished; it stays, and
    // says so like every other source that stays.
    for (const QString& file : m_zip.lastOutcome().changedWhileRead) {
        if (!ArchiveEvents::isSamePath(file, m_rules.infoFile) && basMain::IsListedFile(file))
            keep(file, QStringLiteral("it changed while it was being zipped"));
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
        if (!why.isEmpty())
            keep(file, why);
    }
}

} // namespace kelmar
