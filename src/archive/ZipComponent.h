// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipError.h"
#include "archive/ZipHandles.h"
#include "archive/ZipSource.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <unordered_map>
#include <vector>

namespace kelmar {

// The archive component: seven properties, five operations and two events, over libzip. Its
// reading operations (list, test, extract) each open the archive once through an
// ArchiveReader; a batch that needs more than one of them from one archive uses the reader.
//
// Properties keep the last value set. compress, extract and test return a result code
// (ZipError.h); list and remove return one too, for callers that want it. lastErrorDetail()
// then says what went wrong in words fit for a log line ("CRC error in entry game.nes").
//
// Events are raised synchronously on the calling thread, inside the operation:
//   fileProgress(name, percent) while each file is compressed (name: the source file) or
//   extracted (name: the written file), with 100 once that file is complete;
//   entryListed(name, size) once per entry during list, with its uncompressed size.
// archiveWritten(committed) ends every compress: true only when the archive on disk holds
// the new entries. Nothing before that moment may treat a source file as safely stored.
//
// Writing never changes an archive in place: libzip writes a temporary file beside it and
// renames it over the archive when everything has been written, so a failed or stopped
// compress or remove leaves the archive as it was. Extraction writes each file to a
// temporary file in its folder and renames it over the target when complete. Data is
// streamed through a fixed buffer; no entry is ever held in memory as a whole.
class ZipComponent : public QObject
{
    Q_OBJECT

public:
    explicit ZipComponent(QObject* parent = nullptr);
    ~ZipComponent() override;

    QString archivePath() const { return m_archivePath; }
    void setArchivePath(const QString& value) { m_archivePath = value; }
    // Lines separated by character 13; see compress and EntryMask.
    QString fileMask() const { return m_fileMask; }
    void setFileMask(const QString& value) { m_fileMask = value; }
    QString extractFolder() const { return m_extractFolder; }
    void setExtractFolder(const QString& value) { m_extractFolder = value; }
    QString password() const { return m_password; }
    void setPassword(const QString& value) { m_password = value; }
    bool keepFolderNames() const { return m_keepFolderNames; }
    void setKeepFolderNames(bool value) { m_keepFolderNames = value; }
    bool processSubfolders() const { return m_processSubfolders; }
    void setProcessSubfolders(bool value) { m_processSubfolders = value; }
    // 0 stores, 1 to 9 deflate at that level; values outside are clamped.
    int level() const { return m_level; }
    void setLevel(int value) { m_level = value; }

    // How many threads deflate the files of one compress at once (1, the default: only the
    // one calling). Several help only where one archive takes many files, and only one
    // compress in the process should use more than one at a time.
    int compressThreads() const { return m_compressThreads; }
    void setCompressThreads(int value) { m_compressThreads = qMax(1, value); }
    // How many threads deflate the blocks of one file larger than BufferBudget::kEntryCap
    // (BlockDeflater.h); 1, the default, streams it on the calling thread alone.
    int blockThreads() const { return m_blockThreads; }
    void setBlockThreads(int value) { m_blockThreads = qMax(1, value); }

    // Adds the files that fileMask names to archivePath (CompressMask.h), creating it when
    // missing. A name that is taken is stored under a free one; nothing is replaced.
    int compress(int unused = 0);
    // Adds exactly these files under exactly these names, all or nothing (ZipWriter.h). With a
    // password the new entries are encrypted with AES-256.
    int compress(const std::vector<ZipSource>& sources);
    // What the last compress stored, and what it stored otherwise than asked.
    const CompressOutcome& lastOutcome() const { return m_outcome; }
    // Called once a compress has written its archive, before archiveWritten: the moment a
    // source could change between being read and being deleted. For tests.
    void setAfterWriteHook(std::function<void()> hook) { m_afterWrite = std::move(hook); }
    const std::function<void()>& afterWriteHook() const { return m_afterWrite; }
    // Takes over what other stored in archivePath, so that a later clash there names the
    // file that holds the name, whichever component of a batch stored it.
    void rememberStoredFrom(const ZipComponent& other, const QString& archivePath);
    // Extracts the entries fileMask selects into extractFolder. An existing file is never
    // replaced: when it holds the entry's bytes the entry counts as extracted, otherwise the
    // entry fails with ZipExistsAndDiffers. A folder or link in the way fails it too.
    int extract(int unused = 0);
    // Reads every entry in full, checking CRCs, AES authentication and the archive's
    // structure. Decrypts with password when one is set.
    int test();
    int list();
    // Deletes the entries fileMask selects.
    int remove();

    QString lastErrorDetail() const { return m_detail; }

    // Where extract writes the file entry entryName below destination, with or without its
    // folder names; empty for a folder entry or a name it refuses. For callers that must know
    // beforehand what an extraction will touch.
    static QString extractedPath(const QString& destination, const QString& entryName,
                                 bool keepFolderNames);

    // Asked between files and while libzip writes; true stops the operation with 190.
    void setCancelCheck(std::function<bool()> check) { m_cancelCheck = std::move(check); }

signals:
    void fileProgress(const QString& name, int percent);
    void entryListed(const QString& name, qint64 size);
    void archiveWritten(bool committed);

public:
    // --- for the writing half (ZipWriter, FileReader), which works through these alone
    // Opens archivePath for writing (flags: 0 or ZIP_CREATE); null with *result set when
    // it cannot be.
    ZipArchivePtr openArchive(int flags, int* result);
    // Keeps detail as lastErrorDetail (unless one is kept already) and returns code.
    int fail(int code, const QString& detail);
    // The result code of a libzip error, kept as fail does.
    int resultOf(const zip_error_t* error, const QString& what);
    bool cancelled() const { return m_cancelCheck && m_cancelCheck(); }
    // Emits fileProgress below 100 when the percent of done in total changed since *last.
    void reportProgress(const QString& name, qint64 done, qint64 total, int* last);
    // Per archive (absolute path), the source of each entry this component stored there, by
    // case-folded entry name.
    QHash<QString, std::unordered_map<QString, QString>>& storedFrom() { return m_storedFrom; }

private:
    QString m_archivePath;
    QString m_fileMask;
    QString m_extractFolder;
    QString m_password;
    bool m_keepFolderNames = false;
    bool m_processSubfolders = false;
    int m_level = 6;
    int m_compressThreads = 1;
    int m_blockThreads = 1;

    QString m_detail;
    CompressOutcome m_outcome;
    // For each archive this component wrote to: the file stored under each entry name
    // (case-folded), so that a clash names both files.
    // Per archive, the source of each entry stored there, by case-folded entry name. A batch
    // of many small archives keeps one per archive, so the inner table is the compact kind.
    QHash<QString, std::unordered_map<QString, QString>> m_storedFrom;
    std::function<bool()> m_cancelCheck;
    std::function<void()> m_afterWrite;
};

} // namespace kelmar
