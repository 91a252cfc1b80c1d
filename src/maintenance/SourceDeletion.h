// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <utility>

namespace kelmar {

class ProgressSink;
class ZipComponent;

// "Delete Original Files" of a zip batch: each source the component reports finished is
// deleted once the archive that holds it has been written in full (until zip_close succeeds
// the new archive exists only as a temporary file), and only while it is still the file that
// was read. The archive reaches the disk first. A source that stays gets a log line
// ("Not deleted: PATH (why)"); the info file is never deleted.
class SourceDeletion : public QObject
{
    Q_OBJECT

public:
    struct Rules
    {
        bool deleteSources = false;
        QString infoFile;
    };

    // Connects to zip's events for as long as it lives; log takes the lines.
    SourceDeletion(ProgressSink& log, ZipComponent& zip, const Rules& rules,
                   QObject* parent = nullptr);

    // The sources that were to be deleted and were not, each with the reason, since the last
    // call.
    QStringList takeKeptSources() { return std::exchange(m_keptSources, {}); }

private:
    void fileFinished(const QString& name, int percent);
    void archiveWritten(bool committed);
    void keep(const QString& file, const QString& why);

    ProgressSink& m_log;
    ZipComponent& m_zip;
    Rules m_rules;
    QStringList m_pendingDeletes;
    QStringList m_keptSources;
};

} // namespace kelmar
