#pragma once

#include "fs/FdGuard.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

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
// The copy is the work file of a locked claim (KelmarTemp.h) that stays beside it until the
// object goes: libzip replaces the copy's file when it writes it, and the claim's lock tells
// a later run that clears leftovers that this copy is still being written.
class ArchiveReplacement
{
public:
    explicit ArchiveReplacement(const QString& archivePath);
    ~ArchiveReplacement();
    ArchiveReplacement(const ArchiveReplacement&) = delete;
    ArchiveReplacement& operator=(const ArchiveReplacement&) = delete;

    // Result codes (ZipError.h); detail() says why.
    int begin();
    int commit();

    // The archive itself: through a link, the file it leads to (the link stays a link).
    const QString& path() const { return m_path; }
    const QByteArray& tempPath() const { return m_temp; }
    const QString& detail() const { return m_detail; }

    // Helpers for writing the copy; each returns 0 or an errno value.
    static int copyContent(const QByteArray& from, const QByteArray& to);
    // An archive without entries: the end record alone, with the archive's comment.
    static int writeEmptyArchive(const QByteArray& path, const QByteArray& comment);
    static int syncFile(const QByteArray& path);
    // ZipDiskFull for a full disk or quota or file-size limit, else ZipWriteError.
    static int writeFailure(int err);

private:
    int fail(int code, const QString& detail);

    QString m_archivePath;
    QString m_path;
    QByteArray m_native;
    QByteArray m_temp;
    QByteArray m_claim;
    fs::FdGuard m_claimLock;
    struct stat m_before = {};
    bool m_committed = false;
    QString m_detail;
};

} // namespace kelmar
