// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/SourceDeletion.h"

#include "archive/ZipComponent.h"
#include "fs/FlushToDisk.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RemoveUnchanged.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchProgress.h"
#include "names/basMain.h"

namespace kelmar {

namespace {

QString flushFault(int error)
{
    return QStringLiteral("its archive could not be flushed to disk: ") + fs::systemError(error);
}

QString keptLine(const QString& file, const QString& why)
{
    return QStringLiteral("Not deleted: ") + file + QStringLiteral(" (") + why + u')';
}

} // namespace

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
    m_log.write_log(keptLine(file, why));
    m_keptSources.append(file + QStringLiteral(": ") + why);
}

void SourceDeletion::archiveWritten(bool committed)
{
    const QStringList files = std::exchange(m_pendingDeletes, {});
    m_pending = PendingSources();
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
    PendingSources pending;
    pending.archivePath = m_zip.archivePath();
    for (const QString& file : files) {
        const StoredSource* stored = m_zip.lastOutcome().find(file);
        pending.sources.push_back(
            {file, stored ? std::optional<StoredSource>(*stored) : std::nullopt});
    }
    if (m_rules.grouped) {
        m_pending = std::move(pending);
        return;
    }
    // The archive reaches the disk before the first of its sources goes: after a crash the
    // user must have one or the other.
    const int flushError = fs::flushFileAndFolder(pending.archivePath);
    const QStringList lines = removeFlushed(
        pending, flushError != 0 ? flushFault(flushError) : QString(), &m_keptSources);
    for (const QString& line : lines)
        m_log.write_log(line);
}

QString SourceDeletion::archiveFault(const QString& archivePath, int flushError,
                                     const std::optional<fs::FileIdentity>& written,
                                     const std::optional<fs::FileIdentity>& later)
{
    if (flushError != 0)
        return flushFault(flushError);
    const QByteArray native = fs::nativeName(archivePath);
    const std::optional<fs::FileIdentity> now = fs::FileIdentity::ofPath(native, true);
    if (!now)
        return QStringLiteral("its archive is no longer there");
    if (*now == written)
        return QString();
    // A later file of the batch went into the same archive, perhaps after the flush began.
    if (later && *now == *later) {
        if (const int error = fs::flushFileAndFolder(archivePath))
            return flushFault(error);
        if (fs::FileIdentity::ofPath(native, true) == later)
            return QString();
    }
    return QStringLiteral("its archive changed after it was written");
}

QStringList SourceDeletion::removeFlushed(const PendingSources& pending,
                                          const QString& archiveFault, QStringList* kept)
{
    QStringList lines;
    for (const PendingSources::Source& source : pending.sources) {
        if (!basMain::IsListedFile(source.file))
            continue;
        const QString why = !archiveFault.isEmpty() ? archiveFault
                            : source.stored ? fs::removeIfUnchanged(source.stored->nativePath,
                                                                    source.stored->identity)
                                            : QStringLiteral("it was not stored in full");
        if (why.isEmpty())
            continue;
        lines.append(keptLine(source.file, why));
        kept->append(source.file + QStringLiteral(": ") + why);
    }
    return lines;
}

} // namespace kelmar
