#include "maintenance/UnzipFiles.h"

#include "archive/EntryMask.h"
#include "archive/ZipComponent.h"
#include "fs/FreeSpace.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"
#include "maintenance/ExtractionRecord.h"
#include "names/RomFilter.h"
#include "names/basMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar {

namespace {

QByteArray native(const QString& path)
{
    return fs::nativeName(path);
}

using fs::renameNoReplace;
using fs::systemError;

struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    bool valid = false;
};

// The extracted files reach the disk before their archive goes: after a crash the user
// must have one or the other. One call per archive, however many files it held.
bool syncedToDisk(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::syncfs(fd) == 0;
    const int err = errno;
    ::close(fd);
    errno = err;
    return synced;
}

FileId idOf(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

} // namespace

int UnzipReport::failedCount() const
{
    int n = 0;
    for (const Archive& a : archives)
        n += a.result != 0 ? 1 : 0;
    return n;
}

UnzipReport unzip_files(BatchHost& host, ZipComponent& zip,
                        const std::function<void(int, int, const QString&)>& onArchive,
                        const FreeSpaceProbe& freeSpace)
{
    UnzipReport report;
    const Options options = host.options();
    const bool renaming = Options::isSet(options.chkRenameFiles);

    // The handlers of the component's events run inside extract, on this thread.
    ArchiveEvents events(host, zip);
    events.renameSources().clear();
    events.renameTargets().clear();
    events.setOperationKind(ArchiveEvents::UnzipBatch);
    bool quit = false;
    QObject::connect(
        &events, &ArchiveEvents::quitRequested, &events, [&] { quit = true; },
        Qt::DirectConnection);

    // Each rename pair names the extracted file in the chosen case. On a file system that
    // tells case apart that name may not exist, so the real path is kept beside each pair.
    QStringList extractedFiles;
    QStringList extractFolders;
    std::vector<FileId> extractedIds;
    ExtractionRecord record;
    QObject::connect(
        &zip, &ZipComponent::fileProgress, &events,
        [&](const QString& name, int percent) {
            if (percent < 100)
                return;
            record.written(name);
            if (renaming && events.renameSources().size() > extractedFiles.size()) {
                extractedFiles.append(name);
                extractFolders.append(zip.extractFolder());
                extractedIds.push_back(idOf(name));
            }
        },
        Qt::DirectConnection);

    const QString folder = fs::withSeparator(host.folder());
    host.clear_log();
    QString destination;

    // The archives of the batch, done, failed or still to come, the one in hand included: an
    // entry written over one would lose it (or, deleted, bring back a name the user saw go).
    // Compared without regard to case, as on the memory cards collections live on.
    QSet<QString> batchArchives;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            batchArchives.insert((folder + host.fileName(i)).toCaseFolded());
    }
    const int total = int(batchArchives.size());
    const FreeSpaceProbe probe = freeSpace ? freeSpace : FreeSpaceProbe(fs::freeSpaceOf);
    const QString mask = Options::isSet(options.chkExtractROMs)
                             ? RomFilter::extractMask(options.lblROMFilter)
                             : QString();
    zip.setCancelCheck([&host] { return host.stopRequested(); });
    int number = 0;

    for (int position = 0; position < host.fileCount(); ++position) {
        if (!host.isSelectedArchive(position))
            continue;
        if (destination.isEmpty()) {
            if (Options::isSet(options.chkUnziptoSameFolder)) {
                destination = folder;
            } else {
                const QString picked =
                    host.browseForFolder(QStringLiteral("Select the folder you wish to unzip to."))
                        .value_or(QString());
                if (picked.isEmpty()) {
                    zip.setCancelCheck({});
                    events.setOperationKind(ArchiveEvents::NoBatch);
                    report.pickerCancelled = true;
                    return report;
                }
                destination = picked;
            }
            host.protect_form();
        }
        const QString archivePath = folder + host.fileName(position);
        ++number;
        if (onArchive)
            onArchive(number, total, archivePath);
        UnzipReport::Archive archive;
        archive.path = archivePath;
        try {
            QString target = basMain::WithSeparator(destination);
            QString notAFolder;
            if (Options::isSet(options.chkZIPsToFolders)) {
                target += basMain::StripExtension(host.fileName(position)) + u'/';
                // One level only: its parent is the destination. An existing folder is fine; a
                // link is never followed, as it could lead anywhere outside the destination.
                const QByteArray made = native(target.chopped(1));
                ::mkdir(made.constData(), 0777);
                struct stat st;
                if (::lstat(made.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                    notAFolder = basMain::GetFileName(target.chopped(1));
            }
            zip.setExtractFolder(target);
            const bool keep = !Options::isSet(options.chkIgnoreFolders);
            zip.setKeepFolderNames(keep);
            zip.setFileMask(mask);
            zip.setPassword(options.unzipPassword());
            zip.setArchivePath(archivePath);

            // What will be written: its size against the free space (the writer never goes
            // past a declared size), its names against the archives of the batch.
            qint64 needed = 0;
            QString batchArchive;
            const EntryMask entryMask(mask);
            record.clear();
            auto listed = QObject::connect(
                &zip, &ZipComponent::entryListed, &events,
                [&](const QString& name, qint64 size) {
                    const QString at = ZipComponent::extractedPath(target, name, keep);
                    if (at.isEmpty() || !entryMask.selects(name))
                        return;
                    needed += size;
                    record.expect(at, size);
                    if (batchArchive.isEmpty() && batchArchives.contains(at.toCaseFolded()))
                        batchArchive = at;
                },
                Qt::DirectConnection);
            const int listResult = zip.list();
            QObject::disconnect(listed);
            events.listedNames().clear();

            int result = ZipOk;
            if (!notAFolder.isEmpty()) {
                result = ZipUnsafeEntry;
                archive.reason =
                    QStringLiteral("%1 is in the way: it is not a folder (a link is never "
                                   "followed)")
                        .arg(notAFolder);
            } else if (listResult == ZipOk && !batchArchive.isEmpty()) {
                result = ZipExistsAndDiffers;
                archive.reason = QStringLiteral("it would write %1 over an archive of this batch")
                                     .arg(basMain::GetFileName(batchArchive));
            }
            const qint64 available = listResult == ZipOk ? probe(target) : -1;
            if (result == ZipOk && available >= 0 && needed > available) {
                result = ZipDiskFull;
                const QLocale locale;
                archive.reason =
                    QStringLiteral("it needs %1 bytes, and %2 has %3 free")
                        .arg(locale.toString(needed), destination, locale.toString(available));
            }
            const FileId before = idOf(archivePath);
            if (result == ZipOk) {
                result = zip.extract(0);
                if (result != ZipOk) {
                    const QString detail = zip.lastErrorDetail();
                    archive.reason = zipErrorMessage(result);
                    if (!detail.isEmpty() &&
                        detail.compare(archive.reason, Qt::CaseInsensitive) != 0)
                        archive.reason += QStringLiteral(": ") + detail;
                }
            }
            archive.result = result;
            report.lastResult = result;
            if (quit) {
                // The user chose to end the program: nothing more is done, nor deleted.
            } else if (result != ZipOk) {
                host.write_log(QStringLiteral("Error unzipping ") + archivePath);
                host.write_log(QStringLiteral("    ") + archive.reason);
            } else {
                host.write_log(QStringLiteral("Unzipped ") + archivePath);
                QString missing;
                const bool complete = record.allOnDisk(&missing);
                const bool deleting = Options::isSet(options.chkDeleteZIPFiles);
                if (record.expectedCount() == 0 && !deleting)
                    host.write_log(QStringLiteral("    ") + missing);
                if (deleting && basMain::IsListedFile(archivePath)) {
                    const FileId now = idOf(archivePath);
                    if (!before.valid || now.dev != before.dev || now.ino != before.ino) {
                        // The extraction itself put a file of that name there.
                        host.write_log(QStringLiteral("    not deleted: a file extracted from it "
                                                      "now has its name"));
                    } else if (!complete) {
                        host.write_log(QStringLiteral("    not deleted: ") + missing);
                    } else if (!syncedToDisk(target)) {
                        host.write_log(QStringLiteral("    not deleted: what was extracted could "
                                                      "not be flushed to disk: ") +
                                       systemError(errno));
                    } else if (::unlink(native(archivePath).constData()) == 0) {
                        // Unlinking needs no write permission on the file itself, so a
                        // read-only archive goes too, and a failure leaves its mode alone.
                        archive.deleted = true;
                        host.write_log(QStringLiteral("Deleted ") + archivePath);
                    } else {
                        host.write_log(QStringLiteral("    could not be deleted: ") +
                                       systemError(errno));
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            report.fatal = true;
            host.messageBox(QStringLiteral("Unexepected Error! (7)"), QStringLiteral("Oh No!"),
                            MsgIcon::Critical, MsgButtons::Ok);
        }
        report.archives.push_back(archive);
        if (report.fatal || quit)
            break;
        if (host.stopRequested()) {
            report.stopped = number < total;
            break;
        }
    }
    zip.setCancelCheck({});
    host.release_form();
    report.destination = destination;

    if (report.fatal || quit) {
        // The program ends; nothing more is changed on disk.
        report.fatal = true;
        events.setOperationKind(ArchiveEvents::NoBatch);
        host.showCreditLine();
        host.endProgram();
        return report;
    }

    // The renames, in the order the files were finished; the first to claim a name wins.
    const QStringList& sources = events.renameSources();
    const QStringList& targets = events.renameTargets();
    const qsizetype pairs = qMin(qMin(sources.size(), targets.size()), extractedFiles.size());
    for (qsizetype k = 0; k < pairs; ++k) {
        const QString from = extractedFiles.at(k);
        // The new name in the chosen case, in the folder the file was extracted to (whose
        // own name keeps its case: another case would be another folder here).
        const QString to =
            basMain::WithSeparator(extractFolders.at(k)) + basMain::GetFileName(targets.at(k));
        if (QString::compare(from, to, Qt::CaseInsensitive) == 0)
            continue; // the same name to a file system that ignores case
        if (!basMain::IsListedFile(from) || basMain::NameTaken(to))
            continue;
        // A later archive of the batch may have put a file of its own under that name; it is
        // that archive's to rename.
        const FileId now = idOf(from);
        const FileId& then = extractedIds.at(std::size_t(k));
        if (!then.valid || now.dev != then.dev || now.ino != then.ino)
            continue;
        QString error;
        if (fs::renameNoReplace(from, to, &error))
            report.renames.push_back({from, to});
        else
            host.write_log(QStringLiteral("Could not rename ") + from + QStringLiteral(": ") +
                           error);
    }
    events.renameSources().clear();
    events.renameTargets().clear();

    if (Options::isSet(options.chkSound))
        host.beep();
    if (report.lastResult == ZipAborted) {
        host.messageBox(QStringLiteral("The current process has been stopped"),
                        QStringLiteral("Abort"), MsgIcon::Information, MsgButtons::Ok);
    }
    if (destination.isEmpty()) {
        report.nothingSelected = true;
        host.messageBox(QStringLiteral("You didn't select any files to UnZIP!"),
                        QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    host.showCreditLine();
    host.refresh(); // re-reads the list and recounts
    host.refreshTree();
    events.setOperationKind(ArchiveEvents::NoBatch);
    return report;
}

} // namespace kelmar
