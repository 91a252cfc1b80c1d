#include "maintenance/UnzipFiles.h"

#include "archive/EntryMask.h"
#include "archive/ZipComponent.h"
#include "fs/FileIdentity.h"
#include "fs/FreeSpace.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/BatchHost.h"
#include "maintenance/ExtractionRecord.h"
#include "maintenance/GroupedDeletion.h"
#include "maintenance/SerialHost.h"
#include "maintenance/UnzipRenames.h"
#include "names/RomFilter.h"
#include "names/basMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

FileId idOf(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

// Why an archive whose name without ".zip" is name cannot have a folder of that name in the
// destination, or an empty text. "...zip" would give "..", which is the destination's parent.
QString ownFolderRefusal(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("its name leaves nothing to name its folder");
    if (name == u"." || name == u".." || name.contains(u'/'))
        return QStringLiteral("its folder would be \"%1\", which is not a folder of its own in "
                              "the destination")
            .arg(name);
    return QString();
}

// One archive of the batch: what its listing found, what became of it, and what it leaves
// for the end of the batch (log lines, rename pairs).
struct UnzipJob
{
    QString path;
    QString target; // the folder its entries go into
    QString notAFolder;
    QString noOwnFolder; // why the archive's name gives no folder of its own
    int listResult = ZipOk;
    qint64 needed = 0;
    QString batchArchive;
    ExtractionRecord record;
    bool outOfMemory = false;          // while listing
    bool deleting = false;             // extracted, and to be deleted once that is on disk
    // The archive as it was before it was first opened: only that file, unchanged, may go.
    std::optional<fs::FileIdentity> read;
    std::unique_ptr<ZipComponent> zip; // from its listing to the end of its work
    UnzipReport::Archive archive;
    QStringList log;
    // Each rename pair names the extracted file in the chosen case. On a file system that
    // tells case apart that name may not exist, so the real path is kept beside each pair.
    QStringList renameSources;
    QStringList renameTargets;
    QStringList extractedFiles;
    QStringList extractFolders;
    std::vector<FileId> extractedIds;
};

// The free space that archives being extracted at the same time have counted on: each one
// checks what it needs against what is free less what the others will still write.
class SpaceLedger
{
public:
    explicit SpaceLedger(FreeSpaceProbe probe) : m_probe(std::move(probe)) {}

    // The free space to count on in folder, or -1 when unknown; reserves needed when it fits.
    qint64 claim(const QString& folder, qint64 needed)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        qint64 available = m_probe(folder);
        if (available < 0)
            return available;
        available = qMax<qint64>(0, available - m_reserved);
        if (needed <= available)
            m_reserved += needed;
        return available;
    }
    void release(qint64 needed)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_reserved -= needed;
    }

private:
    FreeSpaceProbe m_probe;
    std::mutex m_lock;
    qint64 m_reserved = 0;
};

// Extracts one archive of the batch, whose listing is in job, and marks it for deletion when
// it is to go (deleteExtracted does that once what it gave is on disk).
void unzipOne(BatchHost& host, UnzipJob& job, SpaceLedger& space, bool deleting, bool renaming,
              const QString& destination, std::atomic<bool>& quit,
              const std::function<bool()>& stopRequested)
{
    ZipComponent& zip = *job.zip;
    UnzipReport::Archive& archive = job.archive;
    const QString& archivePath = job.path;

    // The handlers of the component's events run inside extract, on this thread.
    ArchiveEvents events(host, zip);
    events.setOperationKind(ArchiveEvents::UnzipBatch);
    events.setRules({false, QString(), renaming, host.options().cmbUnzipCase});
    QObject::connect(
        &events, &ArchiveEvents::quitRequested, &events, [&] { quit = true; },
        Qt::DirectConnection);
    QObject::connect(
        &zip, &ZipComponent::fileProgress, &events,
        [&](const QString& name, int percent) {
            if (percent < 100)
                return;
            job.record.written(name);
            if (renaming && events.renameSources().size() > job.extractedFiles.size()) {
                job.extractedFiles.append(name);
                job.extractFolders.append(zip.extractFolder());
                job.extractedIds.push_back(idOf(name));
            }
        },
        Qt::DirectConnection);
    zip.setCancelCheck([&] { return quit || stopRequested(); });

    int result = ZipOk;
    if (!job.noOwnFolder.isEmpty()) {
        result = ZipUnsafeEntry;
        archive.reason = job.noOwnFolder;
    } else if (!job.notAFolder.isEmpty()) {
        result = ZipUnsafeEntry;
        archive.reason = QStringLiteral("%1 is in the way: it is not a folder (a link is never "
                                        "followed)")
                             .arg(job.notAFolder);
    } else if (job.listResult == ZipOk && !job.batchArchive.isEmpty()) {
        result = ZipExistsAndDiffers;
        archive.reason = QStringLiteral("it would write %1 over an archive of this batch")
                             .arg(basMain::GetFileName(job.batchArchive));
    }
    qint64 reserved = 0;
    if (result == ZipOk && job.listResult == ZipOk) {
        const qint64 available = space.claim(job.target, job.needed);
        if (available >= 0 && job.needed > available) {
            result = ZipDiskFull;
            const QLocale locale;
            archive.reason =
                QStringLiteral("it needs %1 bytes, and %2 has %3 free")
                    .arg(locale.toString(job.needed), destination, locale.toString(available));
        } else if (available >= 0) {
            reserved = job.needed;
        }
    }
    if (result == ZipOk) {
        result = zip.extract(0);
        if (result != ZipOk) {
            const QString detail = zip.lastErrorDetail();
            archive.reason = zipErrorMessage(result);
            if (!detail.isEmpty() && detail.compare(archive.reason, Qt::CaseInsensitive) != 0)
                archive.reason += QStringLiteral(": ") + detail;
        }
    }
    space.release(reserved);
    zip.setCancelCheck({});
    archive.result = result;
    job.renameSources = events.renameSources();
    job.renameTargets = events.renameTargets();
    events.setOperationKind(ArchiveEvents::NoBatch);
    if (quit) {
        // The user chose to end the program: nothing more is done, nor deleted.
        return;
    }
    if (result != ZipOk) {
        host.write_log(QStringLiteral("Error unzipping ") + archivePath);
        host.write_log(QStringLiteral("    ") + archive.reason);
        return;
    }
    host.write_log(QStringLiteral("Unzipped ") + archivePath);
    QString missing;
    if (job.record.expectedCount() == 0 && !deleting) {
        job.record.allOnDisk(&missing);
        host.write_log(QStringLiteral("    ") + missing);
    }
    job.deleting = deleting && basMain::IsListedFile(archivePath);
}

// Deletes an extracted archive once what it gave is on disk, if it is still the archive that
// was extracted and every file it gave is still there as written. Returns the log lines.
QStringList deleteExtracted(UnzipJob& job, bool synced, int error)
{
    QStringList lines;
    QString missing;
    const bool complete = job.record.allOnDisk(&missing);
    // An archive of which the ROM filter selected nothing stays by rule, not by a fault.
    const bool selectedNothing = job.record.expectedCount() == 0;
    job.record.clear();
    const std::optional<fs::FileIdentity> now = fs::FileIdentity::ofPath(native(job.path));
    if (!now) {
        lines.append(QStringLiteral("    could not be deleted: ") + systemError(ENOENT));
    } else if (!job.read || now->device != job.read->device || now->inode != job.read->inode) {
        // An entry of its own with the archive's name, or another archive copied over it
        // while the batch ran: what is there now was never extracted.
        lines.append(QStringLiteral("    not deleted: another file has taken its name since "
                                    "it was extracted"));
    } else if (*now != *job.read) {
        // Written in place by another program (an entry appended, say) since it was opened:
        // what it holds now was not all extracted.
        lines.append(QStringLiteral("    not deleted: another program changed it while it "
                                    "was being extracted"));
    } else if (!complete) {
        lines.append(QStringLiteral("    not deleted: ") + missing);
    } else if (!synced) {
        lines.append(QStringLiteral("    not deleted: what was extracted could not be flushed "
                                    "to disk: ") +
                     systemError(error));
    } else if (::unlink(native(job.path).constData()) == 0) {
        // Unlinking needs no write permission on the file itself, so a read-only archive
        // goes too, and a failure leaves its mode alone.
        job.archive.deleted = true;
        lines.append(QStringLiteral("Deleted ") + job.path);
    } else {
        lines.append(QStringLiteral("    could not be deleted: ") + systemError(errno));
    }
    job.archive.notDeleted = !job.archive.deleted && !selectedNothing;
    return lines;
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
    const bool keep = !Options::isSet(options.chkIgnoreFolders);
    const bool deleting = Options::isSet(options.chkDeleteZIPFiles);
    const QString password = options.unzipPassword();
    zip.setPassword(password);

    const QString folder = fs::withSeparator(host.folder());
    host.clear_log();
    QString destination;

    // The archives of the batch, done, failed or still to come, the one in hand included: an
    // entry written over one would lose it (or, deleted, bring back a name the user saw go).
    // Compared without regard to case, as on the memory cards collections live on.
    QSet<QString> batchArchives;
    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i)) {
            positions.push_back(i);
            batchArchives.insert((folder + host.fileName(i)).toCaseFolded());
        }
    }
    const int total = int(positions.size());
    SpaceLedger space(freeSpace ? freeSpace : FreeSpaceProbe(fs::freeSpaceOf));
    const QString mask = Options::isSet(options.chkExtractROMs)
                             ? RomFilter::extractMask(options.lblROMFilter)
                             : QString();
    const EntryMask entryMask(mask);

    if (!positions.empty()) {
        if (Options::isSet(options.chkUnziptoSameFolder)) {
            destination = folder;
        } else {
            destination =
                host.browseForFolder(QStringLiteral("Select the folder you wish to unzip to."))
                    .value_or(QString());
            if (destination.isEmpty()) {
                report.pickerCancelled = true;
                return report;
            }
        }
        host.protect_form();
    }

    // Archives are extracted several at once. Each is listed first, in list order, and waits
    // for any earlier one still writing a file of the same name, so that the same archive
    // wins a name (or finds it taken) as in a run one after another; the log lines come in
    // list order.
    std::mutex hostLock;
    std::atomic<bool> quit{false};
    std::atomic<bool> fatal{false};
    // A job lives from the moment its archive is taken up until its log lines are written
    // (or, when it is to be deleted, until that is done): a batch of a hundred thousand
    // archives keeps only their results.
    std::vector<std::shared_ptr<UnzipJob>> jobs(positions.size());
    std::vector<UnzipReport::Archive> archives(positions.size());
    // The rename pairs, gathered in list order as the archives finish.
    QStringList sources;
    QStringList targets;
    QStringList extractedFiles;
    QStringList extractFolders;
    std::vector<FileId> extractedIds;
    // The archives to delete go in groups, with one flush to disk for each group.
    GroupedDeletion grouped(
        [&](const QStringList& lines) { SerialHost::writeHeldLog(host, hostLock, lines); });
    ArchivePool::Batch batch;
    batch.keys = [&](int i) -> QStringList {
        auto job = std::make_shared<UnzipJob>();
        jobs[size_t(i)] = job;
        QString fileName;
        {
            std::lock_guard<std::mutex> lock(hostLock);
            fileName = host.fileName(positions[size_t(i)]);
        }
        job->path = folder + fileName;
        job->archive.path = job->path;
        try {
            job->zip = std::make_unique<ZipComponent>();
            ZipComponent& mine = *job->zip;
            job->target = basMain::WithSeparator(destination);
            if (Options::isSet(options.chkZIPsToFolders)) {
                const QString own = basMain::StripExtension(fileName);
                job->noOwnFolder = ownFolderRefusal(own);
                job->target += own + u'/';
                if (!job->noOwnFolder.isEmpty())
                    return {job->path.toCaseFolded()}; // it fails: nothing is made or listed
                // One level only: its parent is the destination. An existing folder is fine; a
                // link is never followed, as it could lead anywhere outside the destination.
                const QByteArray made = native(job->target.chopped(1));
                ::mkdir(made.constData(), 0777);
                struct stat st;
                if (::lstat(made.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                    job->notAFolder = basMain::GetFileName(job->target.chopped(1));
            }
            mine.setExtractFolder(job->target);
            mine.setKeepFolderNames(keep);
            mine.setFileMask(mask);
            mine.setPassword(password);
            mine.setArchivePath(job->path);
            job->read = fs::FileIdentity::ofPath(native(job->path));

            // What will be written: its size against the free space (the writer never goes
            // past a declared size), its names against the archives of the batch and against
            // what the archives running beside it write.
            QStringList keys{job->path.toCaseFolded()};
            auto listed = QObject::connect(
                &mine, &ZipComponent::entryListed, &mine,
                [&](const QString& name, qint64 size) {
                    const QString at = ZipComponent::extractedPath(job->target, name, keep);
                    if (at.isEmpty() || !entryMask.selects(name))
                        return;
                    job->needed += size;
                    job->record.expect(at, size);
                    keys.append(at.toCaseFolded());
                    if (job->batchArchive.isEmpty() && batchArchives.contains(keys.last()))
                        job->batchArchive = at;
                },
                Qt::DirectConnection);
            job->listResult = mine.list();
            QObject::disconnect(listed);
            return keys;
        } catch (const std::bad_alloc&) {
            job->outOfMemory = true;
            return {job->path.toCaseFolded()};
        }
    };
    batch.work = [&](int i) {
        UnzipJob& job = *jobs[size_t(i)];
        SerialHost serial(host, hostLock, &job.log);
        try {
            if (job.outOfMemory || !job.zip)
                throw std::bad_alloc();
            unzipOne(serial, job, space, deleting, renaming, destination, quit,
                     [&] { return SerialHost::stopRequestedUnder(host, hostLock); });
        } catch (const std::bad_alloc&) {
            job.zip.reset();
            fatal = true;
            quit = true;
            serial.messageBox(QStringLiteral("Unexepected Error! (7)"), QStringLiteral("Oh No!"),
                              MsgIcon::Critical, MsgButtons::Ok);
        }
        job.zip.reset();
        if (!job.deleting)
            job.record.clear();
    };
    batch.finish = [&](int i) {
        std::shared_ptr<UnzipJob> job = std::move(jobs[size_t(i)]);
        archives[size_t(i)] = job->archive;
        const qsizetype n = qMin(qMin(job->renameSources.size(), job->renameTargets.size()),
                                 job->extractedFiles.size());
        sources += job->renameSources.mid(0, n);
        targets += job->renameTargets.mid(0, n);
        extractedFiles += job->extractedFiles.mid(0, n);
        extractFolders += job->extractFolders.mid(0, n);
        extractedIds.insert(extractedIds.end(), job->extractedIds.begin(),
                            job->extractedIds.begin() + n);
        const QStringList lines = std::exchange(job->log, {});
        if (!job->deleting) {
            grouped.add(lines);
            return;
        }
        UnzipReport::Archive& archive = archives[size_t(i)];
        grouped.add(lines, job->target, [job, &archive](bool synced, int error) {
            const QStringList said = deleteExtracted(*job, synced, error);
            archive.deleted = job->archive.deleted;
            archive.notDeleted = job->archive.notDeleted;
            return said;
        });
    };
    const int started = ArchivePool::run(
        total, batch, [&] { return quit || SerialHost::stopRequestedUnder(host, hostLock); },
        [&](int i) {
            if (!onArchive)
                return;
            std::lock_guard<std::mutex> lock(hostLock);
            onArchive(i + 1, total, jobs[size_t(i)]->path);
        });
    grouped.finish();
    archives.resize(size_t(started));
    report.archives = std::move(archives);
    if (!report.archives.empty())
        report.lastResult = report.archives.back().result;
    for (const UnzipReport::Archive& archive : report.archives) {
        // Stop cancels every archive in hand, not only the last one started.
        if (archive.result == ZipAborted)
            report.lastResult = ZipAborted;
    }
    report.stopped = started < total;
    host.release_form();
    report.destination = destination;

    if (fatal || quit) {
        // The program ends; nothing more is changed on disk.
        report.fatal = true;
        host.showCreditLine();
        host.endProgram();
        return report;
    }

    // The renames, in the order the files were finished; the first to claim a name wins.
    UnzipRenamer renamer(host);
    const qsizetype pairs = sources.size();
    for (qsizetype k = 0; k < pairs; ++k) {
        const QString from = extractedFiles.at(k);
        // The new name in the chosen case, in the folder the file was extracted to (whose
        // own name keeps its case: another case would be another folder here).
        const QString to =
            basMain::WithSeparator(extractFolders.at(k)) + basMain::GetFileName(targets.at(k));
        if (from == to || !basMain::IsListedFile(from))
            continue;
        // A later archive of the batch may have put a file of its own under that name; it is
        // that archive's to rename.
        const FileId now = idOf(from);
        const FileId& then = extractedIds.at(std::size_t(k));
        if (!then.valid || now.dev != then.dev || now.ino != then.ino)
            continue;
        if (renamer.rename(from, to))
            report.renames.push_back({from, to});
    }

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
    return report;
}

} // namespace kelmar
