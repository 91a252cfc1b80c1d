// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipSource.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace kelmar {

class ProgressSink;
class ZipComponent;

// The sources of one written archive that wait to go until the archive is on disk, each with
// what it was when it was read (nothing: it was not stored in full).
struct PendingSources
{
    struct Source
    {
        QString file;
        std::optional<StoredSource> stored;
    };
    QString archivePath;
    std::vector<Source> sources;
};

// "Delete Original Files" of a zip batch: each source the component reports finished is
// deleted once the archive that holds it has been written in full (until zip_close succeeds
// the new archive exists only as a temporary file), and only while it is still the file that
// was read. The archive reaches the disk first. A source that stays gets a log line
// ("Not deleted: PATH (why)"); the info file is never deleted.
//
// With Rules::grouped the archive's sources wait in takePending() instead, for a flush that
// many archives share; removeFlushed then deletes them, checking each as it would have been
// checked here.
class SourceDeletion : public QObject
{
    Q_OBJECT

public:
    struct Rules
    {
        bool deleteSources = false;
        QString infoFile;
        bool grouped = false; // the sources wait in takePending(), not flushed here
    };

    // Connects to zip's events for as long as it lives; log takes the lines.
    SourceDeletion(ProgressSink& log, ZipComponent& zip, const Rules& rules,
                   QObject* parent = nullptr);

    // The sources that were to be deleted and were not, each with the reason, since the last
    // call.
    QStringList takeKeptSources() { return std::exchange(m_keptSources, {}); }
    // grouped: the sources of the archive just written, to go once it is on disk.
    PendingSources takePending() { return std::exchange(m_pending, {}); }

    // Why none of an archive's sources may go after a flush that many archives shared
    // (flushError: 0 or its errno): the archive at its path must still be `written`, what
    // that flush covered. Another version the same batch wrote there since (`later`) is
    // flushed here on its own first. Empty when they may go.
    static QString archiveFault(const QString& archivePath, int flushError,
                                const std::optional<fs::FileIdentity>& written,
                                const std::optional<fs::FileIdentity>& later);
    // Deletes each source that is still the file that was read, unless archiveFault (not
    // empty) keeps them all. Returns the log lines of those kept; *kept takes "PATH: WHY".
    static QStringList removeFlushed(const PendingSources& pending, const QString& archiveFault,
                                     QStringList* kept);

private:
    void fileFinished(const QString& name, int percent);
    void archiveWritten(bool committed);
    void keep(const QString& file, const QString& why);

    ProgressSink& m_log;
    ZipComponent& m_zip;
    Rules m_rules;
    QStringList m_pendingDeletes;
    QStringList m_keptSources;
    PendingSources m_pending;
};

} // namespace kelmar
