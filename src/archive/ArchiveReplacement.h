// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/PathStatus.h"
#include "fs/SafeOutput.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelmar {

// The new copy of an archive, from its creation beside the old one to the moment it takes
// the old one's place.
//
// begin() creates an empty, hidden temporary file in the archive's own folder (the rename
// that ends it is then atomic) and notes what the archive is. commit() renames the copy over
// the archive with the archive's permissions, unless the archive has meanwhile been changed
// by someone else. Until commit() succeeds, the archive is never touched; the temporary file
// is removed when the object goes, unless it was committed.
//
// The copy is a safe output's work file (fs/SafeOutput.h): libzip replaces the copy's file
// when it writes it, and the locked claim beside it tells a later run that clears leftovers
// that this copy is still being written.
class ArchiveReplacement
{
public:
    explicit ArchiveReplacement(const QString& archivePath);
    ~ArchiveReplacement();
    ArchiveReplacement(const ArchiveReplacement&) = delete;
    ArchiveReplacement& operator=(const ArchiveReplacement&) = delete;

    // Result codes (ZipError.h); detail() says why.
    int begin();
    // The copy to disk, before it is read back.
    int flush();
    int commit();

    // The archive itself: through a link, the file it leads to (the link stays a link).
    const QString& path() const { return m_path; }
    const QByteArray& tempPath() const;
    const QString& detail() const { return m_detail; }

    // Helpers for writing the copy; each returns 0 or an errno value.
    static int copyContent(const QByteArray& from, const QByteArray& to);
    // An archive without entries: the end record alone, with the archive's comment.
    static int writeEmptyArchive(const QByteArray& path, const QByteArray& comment);

private:
    int fail(int code, const QString& detail);

    QString m_archivePath;
    QString m_path;
    std::optional<fs::PathStatus> m_before;
    std::optional<fs::SafeOutput> m_copy;
    QString m_detail;
};

} // namespace kelmar
