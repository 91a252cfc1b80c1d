// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/UnzipFiles.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryMask.h"
#include "archive/ZipError.h"
#include "fs/FileIdentity.h"
#include "fs/FreeSpace.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/GroupedDeletion.h"
#include "maintenance/SerialProgress.h"
#include "maintenance/UnzipRenames.h"
#include "names/RomFilter.h"
#include "names/basMain.h"

#include <QLocale>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <new>
#include <unistd.h>
#include <utility>

namespace kelmar {

namespace {

QByteArray native(const QString& path)
{
    return fs::nativeName(path);
}

std::optional<fs::FileIdentity> identityNow(const QString& path)
{
    return fs::FileIdentity::ofPath(native(path));
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

// One archive of the batch, from the moment it is taken up until its log lines are written
// (or, when it is to be deleted, until that is done): a batch of a hundred thousand
// archives keeps only their outcomes.
struct UnzipJob
{
    QString path;
    std::unique_ptr<ArchiveReader> reader;  // open from its listing to the end of its work
    std::optional<fs::FileIdentity> before; // the archive just before it was opened
    int listResult = ZipOk;
    QString listDetail;
    QString refusal; // why it is refused before a byte is written
    int refusalCode = ZipOk;
    bool noOwnFolder = false; // its name gives no folder of its own: it is not even listed
    UnzipPlan plan;
    ExtractManifest manifest;
    bool outOfMemory = false; // while listing
    bool deleting = false;    // extracted, and to be deleted once that is on disk
    ItemOutcome item;
    QStringList log;
};

// Deletes the extracted archive when judgeDeletion lets it go. Returns the log lines.
QStringList deleteExtracted(UnzipJob& job, bool synced, int error)
{
    DeletionFacts facts;
    facts.before = job.before;
    facts.now = identityNow(job.path);
    facts.missing = missingFromDisk(job.plan, job.manifest, identityNow);
    facts.synced = synced;
    facts.flushError = error;
    const DeletionVerdict verdict = judgeDeletion(facts);
    // An archive of which the ROM filter selected nothing stays by rule, not by a fault.
    const bool selectedNothing = job.plan.files.empty();
    if (!verdict.remove) {
        if (!selectedNothing) {
            job.item.result = ItemResult::Kept;
            job.item.reason = verdict.line.trimmed();
        }
        return {verdict.line};
    }
    // Unlinking needs no write permission on the file itself, so a read-only archive goes
    // too, and a failure leaves its mode alone.
    if (::unlink(native(job.path).constData()) == 0)
        return {QStringLiteral("Deleted ") + job.path};
    const QString line = QStringLiteral("    could not be deleted: ") + fs::systemError(errno);
    job.item.result = ItemResult::Kept;
    job.item.reason = line.trimmed();
    return {line};
}

class UnzipBatch
{
public:
    UnzipBatch(const UnzipRequest& request, ProgressSink& sink, BatchQuestions& questions,
               const UnzipHooks& hooks);
    BatchReport run();

private:
    QStringList takeUp(int i);
    QString targetOf(UnzipJob& job);
    void openAndPlan(UnzipJob& job);
    void work(int i);
    void extractOne(SerialProgress& serial, UnzipJob& job);
    int refuseOrClaim(UnzipJob& job, qint64* reserved);
    void logOutcome(SerialProgress& serial, UnzipJob& job, int result);
    void finish(int i);
    void renameAll(BatchReport& report);

    const UnzipRequest& m_request;
    ProgressSink& m_sink;
    BatchQuestions& m_questions;
    const UnzipHooks& m_hooks;
    QString m_destination;
    QSet<QString> m_batchArchives;
    QString m_maskText;
    EntryMask m_mask;
    SpaceLedger m_space;
    std::mutex m_lock;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_fatal{false};
    std::vector<std::shared_ptr<UnzipJob>> m_jobs;
    std::vector<ItemOutcome> m_items;
    // The rename pairs, gathered in list order as the archives finish, with their item.
    std::vector<std::pair<RenamePair, size_t>> m_renames;
    GroupedDeletion m_grouped;
};

UnzipBatch::UnzipBatch(const UnzipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                       const UnzipHooks& hooks)
    : m_request(request), m_sink(sink), m_questions(questions), m_hooks(hooks),
      m_maskText(request.romsOnly ? RomFilter::extractMask(request.romFilter) : QString()),
      m_mask(m_maskText),
      m_space(hooks.freeSpace ? hooks.freeSpace : FreeSpaceProbe(fs::freeSpaceOf)),
      m_jobs(size_t(request.files.size())), m_items(size_t(request.files.size())),
      m_grouped(
          [this](const QStringList& lines) { SerialProgress::writeHeldLog(m_sink, m_lock, lines); })
{
    m_destination =
        request.besideArchives ? fs::withSeparator(request.files.folder) : request.destination;
    // The archives of the batch, done, failed or still to come, the one in hand included: an
    // entry written over one would lose it (or, deleted, bring back a name the user saw go).
    // Compared without regard to case, as on the memory cards collections live on.
    for (int i = 0; i < request.files.size(); ++i)
        m_batchArchives.insert(request.files.path(i).toCaseFolded());
}

// The folder the job's entries go into; with a folder per archive, made here (one level
// only: its parent is the destination). An existing folder is fine; a link is never
// followed, as it could lead anywhere outside the destination.
QString UnzipBatch::targetOf(UnzipJob& job)
{
    // Beside the archives means beside each one, in its own folder: a list with sub-folders
    // names archives below the listed folder.
    QString target = m_request.besideArchives ? job.path.left(job.path.lastIndexOf(u'/') + 1)
                                              : basMain::WithSeparator(m_destination);
    if (!m_request.folderPerArchive)
        return target;
    const QString own = basMain::StripExtension(basMain::GetFileName(job.path));
    target += own + u'/';
    const QString refusal = ownFolderRefusal(own);
    if (!refusal.isEmpty()) {
        job.refusal = refusal;
        job.refusalCode = ZipUnsafeEntry;
        job.noOwnFolder = true;
        return target;
    }
    const QString made = target.chopped(1);
    fs::makeFolder(made); // whatever bears the name already is judged next
    if (!fs::isDirectory(made, fs::Links::DoNotFollow)) {
        job.refusal = QStringLiteral("%1 is in the way: it is not a folder (a link is never "
                                     "followed)")
                          .arg(basMain::GetFileName(target.chopped(1)));
        job.refusalCode = ZipUnsafeEntry;
    }
    return target;
}

// The archive is opened here, once, and listed: the listing is its plan.
void UnzipBatch::openAndPlan(UnzipJob& job)
{
    const QString target = targetOf(job);
    if (job.noOwnFolder) {
        job.plan.archive = job.path; // it fails: nothing is made or listed
        return;
    }
    job.reader = std::make_unique<ArchiveReader>(job.path, m_request.password);
    std::vector<ArchiveEntry> entries;
    job.listResult = job.reader->list(&entries);
    job.listDetail = job.reader->detail();
    job.before = job.reader->identityBeforeOpen();
    job.plan =
        planUnzip(job.path, target, entries, m_request.keepFolderNames, m_mask, m_batchArchives);
}

QStringList UnzipBatch::takeUp(int i)
{
    auto job = std::make_shared<UnzipJob>();
    m_jobs[size_t(i)] = job;
    job->path = m_request.files.path(i);
    job->item.path = job->path;
    try {
        openAndPlan(*job);
        return job->plan.keys();
    } catch (const std::bad_alloc&) {
        job->outOfMemory = true;
        return {job->path.toCaseFolded()};
    }
}

// A refusal before a byte is written, or the free space claimed for what the plan writes.
int UnzipBatch::refuseOrClaim(UnzipJob& job, qint64* reserved)
{
    ItemOutcome& item = job.item;
    if (job.refusalCode != ZipOk) {
        item.reason = job.refusal;
        return job.refusalCode;
    }
    if (job.listResult == ZipOk && !job.plan.overBatchArchive.isEmpty()) {
        item.reason = QStringLiteral("it would write %1 over an archive of this batch")
                          .arg(basMain::GetFileName(job.plan.overBatchArchive));
        return ZipExistsAndDiffers;
    }
    if (job.listResult != ZipOk)
        return ZipOk; // extraction meets what listing met, and words it
    const qint64 needed = job.plan.needed;
    const qint64 available = m_space.claim(job.plan.target, needed);
    if (available >= 0 && needed > available) {
        const QLocale locale;
        item.reason = QStringLiteral("it needs %1 bytes, and %2 has %3 free")
                          .arg(locale.toString(needed), m_destination, locale.toString(available));
        return ZipDiskFull;
    }
    if (available >= 0)
        *reserved = needed;
    return ZipOk;
}

void UnzipBatch::extractOne(SerialProgress& serial, UnzipJob& job)
{
    // The reader's progress runs inside extract, on this thread.
    ArchiveEvents events(serial, serial, &m_quit);
    events.setOperationKind(ArchiveEvents::UnzipBatch);
    qint64 reserved = 0;
    int result = refuseOrClaim(job, &reserved);
    if (result == ZipOk) {
        ExtractSettings settings;
        settings.destination = job.plan.target;
        settings.fileMask = m_maskText;
        settings.keepFolderNames = m_request.keepFolderNames;
        settings.cancelled = [&] {
            return m_quit || SerialProgress::stopRequestedUnder(m_sink, m_lock);
        };
        settings.progress = [&](const QString& target, int percent) {
            events.fileProgress(target, percent);
        };
        result = job.reader->extract(settings, &job.manifest);
        if (result != ZipOk) {
            const QString detail = job.reader->detail();
            job.item.reason = zipErrorMessage(result);
            if (!detail.isEmpty() && detail.compare(job.item.reason, Qt::CaseInsensitive) != 0)
                job.item.reason += QStringLiteral(": ") + detail;
        }
    }
    m_space.release(reserved);
    events.setOperationKind(ArchiveEvents::NoBatch);
    logOutcome(serial, job, result);
}

void UnzipBatch::logOutcome(SerialProgress& serial, UnzipJob& job, int result)
{
    ItemOutcome& item = job.item;
    item.code = result;
    item.target = job.plan.target;
    for (const ExtractedFile& file : job.manifest.files)
        item.sources.append(file.path);
    if (m_quit)
        return; // the user chose to end the program: nothing more is done, nor deleted
    if (result != ZipOk) {
        item.result = result == ZipAborted ? ItemResult::Skipped : ItemResult::Failed;
        serial.write_log(QStringLiteral("Error unzipping ") + job.path);
        serial.write_log(QStringLiteral("    ") + item.reason);
        return;
    }
    serial.write_log(QStringLiteral("Unzipped ") + job.path);
    const bool deleting = m_request.deleteArchives;
    if (job.plan.files.empty()) {
        item.result = ItemResult::Unchanged;
        item.reason = missingFromDisk(job.plan, job.manifest, identityNow);
        if (!deleting)
            serial.write_log(QStringLiteral("    ") + item.reason);
    }
    job.deleting = deleting && basMain::IsListedFile(job.path);
}

void UnzipBatch::work(int i)
{
    UnzipJob& job = *m_jobs[size_t(i)];
    SerialProgress serial(m_sink, m_questions, m_lock, &job.log);
    try {
        if (job.outOfMemory)
            throw std::bad_alloc();
        extractOne(serial, job);
    } catch (const std::bad_alloc&) {
        m_fatal = true;
        m_quit = true;
        serial.messageBox(QStringLiteral("Unexepected Error! (7)"), QStringLiteral("Oh No!"),
                          MsgIcon::Critical, MsgButtons::Ok);
    }
    job.reader.reset();
}

void UnzipBatch::finish(int i)
{
    std::shared_ptr<UnzipJob> job = std::move(m_jobs[size_t(i)]);
    if (m_request.renameToArchive) {
        for (RenamePair& pair :
             renamesOf(job->manifest, job->path, job->plan.target, m_request.renameCase))
            m_renames.emplace_back(std::move(pair), size_t(i));
    }
    const QStringList lines = std::exchange(job->log, {});
    if (!job->deleting) {
        m_items[size_t(i)] = job->item;
        m_grouped.add(lines);
        return;
    }
    // The archives to delete go in groups, with one flush to disk for each group.
    ItemOutcome& item = m_items[size_t(i)];
    m_grouped.add(lines, job->plan.target, [job, &item](bool synced, int error) {
        const QStringList said = deleteExtracted(*job, synced, error);
        item = job->item;
        return said;
    });
}

// The renames, in the order the files were finished; the first to claim a name wins.
void UnzipBatch::renameAll(BatchReport& report)
{
    UnzipRenamer renamer(m_sink);
    for (const auto& [pair, index] : m_renames) {
        if (pair.from == pair.to || !basMain::IsListedFile(pair.from))
            continue;
        // A later archive of the batch may have put a file of its own under that name; it is
        // that archive's to rename.
        const std::optional<fs::FileIdentity> now = identityNow(pair.from);
        if (!pair.identity || !now || now->device != pair.identity->device ||
            now->inode != pair.identity->inode)
            continue;
        if (renamer.rename(pair.from, pair.to) && index < report.items.size())
            report.items[index].notes.append(pair.from + QStringLiteral(" -> ") + pair.to);
    }
}

BatchReport UnzipBatch::run()
{
    BatchReport report;
    const int total = m_request.files.size();
    // Archives are extracted several at once. Each is listed first, in list order, and waits
    // for any earlier one still writing a file of the same name, so that the same archive
    // wins a name (or finds it taken) as in a run one after another; the log lines come in
    // list order.
    ArchivePool::Batch batch;
    batch.workers = m_request.workers;
    batch.keys = [this](int i) { return takeUp(i); };
    batch.work = [this](int i) { work(i); };
    batch.finish = [this, total](int i) {
        finish(i);
        SerialProgress::countUnder(m_sink, m_lock,
                                   BatchCount{QStringLiteral("Unzipping"), i + 1, total});
    };
    const int started = ArchivePool::run(
        total, batch, [&] { return m_quit || SerialProgress::stopRequestedUnder(m_sink, m_lock); },
        [&](int i) {
            if (!m_hooks.onArchive)
                return;
            std::lock_guard<std::mutex> lock(m_lock);
            m_hooks.onArchive(i + 1, total, m_request.files.path(i));
        });
    m_grouped.finish();
    m_items.resize(size_t(started));
    report.items = std::move(m_items);
    // Stop cancels every archive in hand, not only the last one started.
    bool aborted = false;
    for (const ItemOutcome& item : report.items)
        aborted = aborted || item.code == ZipAborted;
    if (m_fatal || m_quit) {
        // The program ends; nothing more is changed on disk.
        report.end = BatchEnd::EndProgram;
        m_sink.showCreditLine();
        return report;
    }
    if (started < total || aborted)
        report.end = BatchEnd::Stopped;
    if (m_request.renameToArchive)
        renameAll(report);
    if (aborted) {
        m_questions.messageBox(QStringLiteral("The current process has been stopped"),
                               QStringLiteral("Abort"), MsgIcon::Information, MsgButtons::Ok);
    }
    m_sink.showCreditLine();
    return report;
}

} // namespace

UnzipRequest unzipRequestFromOptions(const Options& options, const BatchFiles& files)
{
    UnzipRequest request;
    request.files = files;
    request.besideArchives = Options::isSet(options.chkUnziptoSameFolder);
    request.folderPerArchive = Options::isSet(options.chkZIPsToFolders);
    request.keepFolderNames = !Options::isSet(options.chkIgnoreFolders);
    request.romsOnly = Options::isSet(options.chkExtractROMs);
    request.romFilter = options.lblROMFilter;
    request.renameToArchive = Options::isSet(options.chkRenameFiles);
    request.renameCase = options.cmbUnzipCase == UseLowerCase   ? UnzipCase::Lower
                         : options.cmbUnzipCase == UseUpperCase ? UnzipCase::Upper
                                                                : UnzipCase::Original;
    request.deleteArchives = Options::isSet(options.chkDeleteZIPFiles);
    request.password = options.unzipPassword();
    return request;
}

BatchReport unzip_files(const UnzipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                        const UnzipHooks& hooks)
{
    sink.clear_log();
    if (request.files.empty()) {
        BatchReport report;
        report.end = BatchEnd::NothingSelected;
        questions.messageBox(QStringLiteral("You didn't select any files to UnZIP!"),
                             QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
        sink.showCreditLine();
        return report;
    }
    return UnzipBatch(request, sink, questions, hooks).run();
}

} // namespace kelmar
