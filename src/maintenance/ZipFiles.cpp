// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ZipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/SerialProgress.h"
#include "maintenance/SourceDeletion.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QSet>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace kelmar {

namespace {

const QChar CR = u'\r';
const QString kKeptPrefix = QStringLiteral("not deleted: ");

// A mask's lines, one log line each: the log takes one line per call, and a bare carriage
// return inside a line would show differently in every place the log goes.
void logLines(ProgressSink& sink, const QString& first, const QString& mask, const QString& last)
{
    QStringList lines = mask.split(CR);
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    lines.front().prepend(first);
    lines.back().append(last);
    for (const QString& line : std::as_const(lines))
        sink.write_log(line);
}

// The component's cancel check for the duration of one call, and none afterwards: the
// component outlives the batch and other batches read Stop their own way.
class CancelGuard
{
public:
    CancelGuard(ZipComponent& zip, std::function<bool()> check) : m_zip(zip)
    {
        m_zip.setCancelCheck(std::move(check));
    }
    ~CancelGuard() { m_zip.setCancelCheck({}); }
    CancelGuard(const CancelGuard&) = delete;
    CancelGuard& operator=(const CancelGuard&) = delete;

private:
    ZipComponent& m_zip;
};

// The end message reports only the last result; each failed archive gets its own line.
void logFailure(ProgressSink& sink, const QString& archivePath, int result, const QString& detail)
{
    if (result == ZipOk || result == ZipAborted)
        return;
    QString reason = zipErrorMessage(result);
    if (!detail.isEmpty())
        reason += QStringLiteral(": ") + detail;
    sink.write_log(QStringLiteral("Error zipping ") + fs::printableName(archivePath) +
                   QStringLiteral(" (") + reason + u')');
}

// The name a file is stored under: its name, or with "Store Path Information" its full path
// without the leading separator.
QString entryNameFor(const QString& path, bool keepFolderNames)
{
    if (!keepFolderNames)
        return basMain::GetFileName(path);
    QString entry = fs::absolutePath(path);
    while (entry.startsWith(u'/'))
        entry.remove(0, 1);
    return entry;
}

void logNotes(ProgressSink& sink, const ZipComponent& zip)
{
    for (const QString& note : zip.lastOutcome().notes)
        sink.write_log(QStringLiteral("    (") + note + u')');
}

void configure(ZipComponent& zip, const ZipRequest& request)
{
    zip.setKeepFolderNames(request.keepPaths);
    // TorrentZip deflates every entry anew: the first writing is the quickest deflate, which
    // also keeps the archive on its way small.
    zip.setLevel(request.torrentZip ? 1 : request.level);
    zip.setPassword(request.password);
    // A file too large to deflate whole is deflated in blocks on every worker, whichever
    // archive the other workers are busy with.
    zip.setBlockThreads(request.workers > 0 ? request.workers : ArchivePool::defaultWorkers());
}

// TorrentZip: the archive just written, laid out anew with every entry under its own name.
int toTorrentZip(const ZipRequest& request, const QString& archivePath, int result, int threads,
                 QString* detail)
{
    if (!request.torrentZip || result != ZipOk)
        return result;
    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::TorrentZip;
    plan.keepFolderNames = true;
    plan.threads = threads;
    ArchiveRebuilder rebuilder(plan);
    const int code = rebuilder.rebuild(archivePath);
    if (code != ZipOk)
        *detail = QStringLiteral("TorrentZip: ") + rebuilder.lastErrorDetail();
    return code;
}

// TorrentZip: an archive that exists already and holds two names the layout takes for one
// is refused before anything is added to it. ZipOk otherwise.
int torrentZipRefusal(const ZipRequest& request, const QString& archivePath, QString* detail)
{
    if (!request.torrentZip || !fs::isFilePath(archivePath))
        return ZipOk;
    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::TorrentZip;
    plan.keepFolderNames = true;
    ArchiveRebuilder rebuilder(plan);
    const int code = rebuilder.checkTorrentZipNames(archivePath);
    if (code != ZipOk)
        *detail = QStringLiteral("TorrentZip: ") + rebuilder.lastErrorDetail();
    return code;
}

ZipSource infoSource(const ZipRequest& request)
{
    return ZipSource::file(request.infoFile, entryNameFor(request.infoFile, request.keepPaths),
                           ZipSource::OnClash::Skip);
}

// One archive's outcome: the component's code, what it stored otherwise than asked, and the
// sources that were to be deleted and were not.
ItemOutcome outcomeOf(const QString& archivePath, const QStringList& sources, int code,
                      const QString& detail, const ZipComponent& zip, const QStringList& kept)
{
    ItemOutcome item;
    item.path = archivePath;
    item.sources = sources;
    item.code = code;
    item.notes = zip.lastOutcome().notes;
    for (const QString& k : kept)
        item.notes.append(keptSourceNote(k));
    if (code == ZipAborted) {
        item.result = ItemResult::Skipped;
        item.reason = zipErrorMessage(code);
    } else if (code != ZipOk) {
        item.result = ItemResult::Failed;
        item.reason = detail.isEmpty() ? zipErrorMessage(code) : detail;
    } else if (!kept.isEmpty()) {
        item.result = ItemResult::Kept;
        item.reason = kept.join(QStringLiteral("; "));
    }
    return item;
}

// What every run ends with: the credit line back, and a message for the last result.
void closeBatch(ProgressSink& sink, BatchQuestions& questions, int lastResult)
{
    sink.showCreditLine();
    if (lastResult == ZipAborted) {
        questions.messageBox(QStringLiteral("The current process has been stopped"),
                             QStringLiteral("Abort"), MsgIcon::Information, MsgButtons::Ok);
    } else if (lastResult != ZipOk) {
        questions.messageBox(QStringLiteral("Error #") + QString::number(lastResult) +
                                 QStringLiteral(" occurred while unzipping the files.") + CR +
                                 QStringLiteral("The zip file may not have been created."),
                             QStringLiteral("Warning"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
}

// The one-archive mode: every file, with the info file first, into request.archive.
BatchReport zipIntoOneArchive(const ZipRequest& request, ProgressSink& sink,
                              BatchQuestions& questions, ZipComponent& zip)
{
    // No to an unexpected error sets quit: the batch ends as Stop would, then the program.
    std::atomic<bool> quit{false};
    ArchiveEvents events(sink, questions, &quit, zip);
    events.setOperationKind(ArchiveEvents::ZipBatch);
    events.setRules({request.infoFile});
    SourceDeletion deletion(sink, zip, {request.deleteSources, request.infoFile});
    events.setTotalFileCount(request.files.size());
    events.setCurrentFileNumber(1);
    configure(zip, request);
    zip.setArchivePath(request.archive);

    // The mask is only what the log shows; the component gets the files themselves.
    QString mask = request.infoFile.isEmpty() ? QString() : request.infoFile + CR;
    std::vector<ZipSource> entries;
    if (!request.infoFile.isEmpty())
        entries.push_back(infoSource(request));
    QStringList sources;
    for (int i = 0; i < request.files.size(); ++i) {
        sources.append(request.files.path(i));
        mask += sources.back() + CR;
        entries.push_back(ZipSource::file(sources.back(),
                                          entryNameFor(sources.back(), request.keepPaths),
                                          ZipSource::OnClash::Rename));
    }
    mask.chop(1);
    logLines(sink, QStringLiteral("Zipping files: "), mask,
             QStringLiteral(" to ") + request.archive);
    int result;
    QString refusal;
    {
        // A single archive can take long; Stop cancels it, and the archive stays as it was.
        CancelGuard guard(zip, [&] { return quit.load() || sink.stopRequested(); });
        // Its files are deflated on every worker while libzip writes them in order.
        zip.setCompressThreads(request.workers > 0 ? request.workers
                                                   : ArchivePool::defaultWorkers());
        result = torrentZipRefusal(request, request.archive, &refusal);
        result = result != ZipOk ? result : zip.compress(entries);
        zip.setCompressThreads(1);
    }
    QString detail = refusal.isEmpty() ? zip.lastErrorDetail() : refusal;
    result = toTorrentZip(request, request.archive, result,
                          request.workers > 0 ? request.workers : ArchivePool::defaultWorkers(),
                          &detail);
    logNotes(sink, zip);
    logFailure(sink, request.archive, result, detail);
    BatchReport report;
    report.items.push_back(
        outcomeOf(request.archive, sources, result, detail, zip, deletion.takeKeptSources()));
    events.setOperationKind(ArchiveEvents::NoBatch);
    closeBatch(sink, questions, result);
    report.end = quit.load()            ? BatchEnd::EndProgram
                 : result == ZipAborted ? BatchEnd::Stopped
                                        : BatchEnd::Finished;
    return report;
}

// The per-file mode: one archive per file, several at once (ArchivePool). Files that go into
// the same archive share one component, in list order, so the second finds the first's entry
// and the log names both, exactly as in a run one archive after another.
class PerFileRun
{
public:
    PerFileRun(const ZipRequest& request, ProgressSink& sink, BatchQuestions& questions,
               ZipComponent& batchZip, const QString& targetFolder)
        : m_request(request), m_sink(sink), m_questions(questions), m_batchZip(batchZip),
          m_targetFolder(targetFolder)
    {
        for (int i = 0; i < request.files.size(); ++i)
            addFile(request.files.names.at(i), request.files.path(i));
    }

    // Zips every file (until Stop); the outcomes of the archives started, in list order.
    std::vector<ItemOutcome> zipAll();
    size_t size() const { return m_files.size(); }
    // No to an unexpected error: the program is to end.
    bool quit() const { return m_quit.load(); }

private:
    struct File
    {
        QString name;
        QString source;
        QString archivePath;
        int component = 0; // in m_archives
    };
    // Each archive of the batch, with the component that writes it until its last file is in.
    struct Archive
    {
        std::unique_ptr<ZipComponent> zip;
        QString path;
        int lastFile = 0;
    };

    void addFile(const QString& name, const QString& source);
    int componentFor(const QString& archivePath);
    QStringList keysOf(int i, const QString& infoKey) const;
    void finishOne(int i, QStringList& log);
    void zipOne(const File& file, bool first, QStringList& log, ItemOutcome& result);
    void logStart(ProgressSink& sink, const File& file, bool first);

    const ZipRequest& m_request;
    ProgressSink& m_sink;
    BatchQuestions& m_questions;
    ZipComponent& m_batchZip;
    QString m_targetFolder;
    std::vector<File> m_files;
    std::vector<Archive> m_archives;
    std::map<QString, int> m_componentOf;
    std::mutex m_hookLock;
    std::mutex m_lock; // the sink's and the questions'
    FinishedCount m_finished;
    std::atomic<bool> m_quit{false};
    std::mutex m_madeLock;
    QSet<QString> m_made;
};

void PerFileRun::addFile(const QString& name, const QString& source)
{
    File file;
    file.name = name;
    file.source = source;
    // A name below the listed folder ("snes/Game.sfc") gets its archive beside it; in a
    // folder of their own, the archives go into that folder itself. Either way the case rule
    // changes the archive's name only, never a folder's.
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString folder = m_request.targetFolder.isEmpty() ? m_targetFolder + name.left(slash + 1)
                                                            : m_targetFolder;
    file.archivePath = perFileArchivePath(folder, name.mid(slash + 1), m_request.keepExtension,
                                          m_request.nameCase);
    file.component = componentFor(file.archivePath);
    m_archives[size_t(file.component)].lastFile = int(m_files.size());
    m_files.push_back(file);
}

int PerFileRun::componentFor(const QString& archivePath)
{
    // Case-folded: on a file system that ignores case two spellings are one file.
    const QString key = fs::foldedName(archivePath);
    auto it = m_componentOf.find(key);
    if (it != m_componentOf.end())
        return it->second;
    m_archives.push_back({std::make_unique<ZipComponent>(), archivePath, 0});
    ZipComponent& zip = *m_archives.back().zip;
    // What the batch's component stored there in an earlier run of the same session.
    zip.rememberStoredFrom(m_batchZip, archivePath);
    if (const std::function<void()> hook = m_batchZip.afterWriteHook()) {
        zip.setAfterWriteHook([this, hook] {
            std::lock_guard<std::mutex> lock(m_hookLock);
            hook();
        });
    }
    return m_componentOf.emplace(key, int(m_archives.size()) - 1).first->second;
}

// What one archive writes another must not read or write meanwhile.
QStringList PerFileRun::keysOf(int i, const QString& infoKey) const
{
    const File& file = m_files[size_t(i)];
    QStringList keys{fs::foldedName(file.archivePath), fs::foldedName(file.source)};
    if (!infoKey.isEmpty())
        keys.append(infoKey);
    return keys;
}

void PerFileRun::finishOne(int i, QStringList& log)
{
    SerialProgress::writeHeldLog(m_sink, m_lock, log);
    log.clear();
    // The archive's last file is done: what it stored is remembered for the next batch of
    // this component, and the archive's own component goes (a batch may make a hundred
    // thousand archives).
    Archive& archive = m_archives[size_t(m_files[size_t(i)].component)];
    if (archive.lastFile == i) {
        m_batchZip.rememberStoredFrom(*archive.zip, archive.path);
        archive.zip.reset();
    }
}

std::vector<ItemOutcome> PerFileRun::zipAll()
{
    std::vector<ItemOutcome> results(m_files.size());
    std::vector<QStringList> logs(m_files.size());
    // The info file is a key of every archive only where it is one of the archives.
    const QString info = m_request.infoFile.isEmpty()
                             ? QString()
                             : fs::foldedName(fs::absolutePath(m_request.infoFile));
    bool infoIsAnArchive = false;
    for (const File& file : m_files)
        infoIsAnArchive = infoIsAnArchive || fs::foldedName(file.archivePath) == info;
    const QString infoKey = infoIsAnArchive ? info : QString();
    ArchivePool::Batch batch;
    batch.workers = m_request.workers;
    batch.keys = [&](int i) { return keysOf(i, infoKey); };
    batch.work = [&](int i) {
        zipOne(m_files[size_t(i)], i == 0, logs[size_t(i)], results[size_t(i)]);
    };
    batch.finish = [&](int i) {
        finishOne(i, logs[size_t(i)]);
        SerialProgress::countUnder(
            m_sink, m_lock, BatchCount{QStringLiteral("Zipping"), i + 1, int(m_files.size())});
    };
    const int started = ArchivePool::run(int(m_files.size()), batch, [&] {
        return SerialProgress::stopRequestedUnder(m_sink, m_lock) || m_quit.load();
    });
    results.resize(size_t(started));
    return results;
}

void PerFileRun::logStart(ProgressSink& sink, const File& file, bool first)
{
    if (first) {
        sink.write_log(QStringLiteral("Individually Zipping the Following Files to ") +
                       m_targetFolder);
    }
    sink.write_log(file.source);
    if (!m_request.infoFile.isEmpty())
        sink.write_log(m_request.infoFile);
    // An earlier file of the same archive has finished: they share a component.
    bool made;
    {
        std::lock_guard<std::mutex> lock(m_madeLock);
        made = m_made.contains(file.archivePath);
    }
    if (made) {
        sink.write_log(QStringLiteral("    (") + file.name + QStringLiteral(" goes into ") +
                       basMain::GetFileName(file.archivePath) +
                       QStringLiteral(" with an earlier file of the same name)"));
    }
}

void PerFileRun::zipOne(const File& file, bool first, QStringList& log, ItemOutcome& result)
{
    SerialProgress serial(m_sink, m_questions, m_lock, &log);
    ZipComponent& zip = *m_archives[size_t(file.component)].zip;
    ArchiveEvents events(serial, serial, &m_quit, zip);
    events.setOperationKind(ArchiveEvents::ZipBatch);
    events.setRules({m_request.infoFile});
    SourceDeletion deletion(serial, zip, {m_request.deleteSources, m_request.infoFile});
    events.setTotalFileCount(m_request.files.size());
    events.shareFinishedCount(&m_finished);
    configure(zip, m_request);
    zip.setArchivePath(file.archivePath);

    std::vector<ZipSource> entries{
        ZipSource::file(file.source, entryNameFor(file.source, m_request.keepPaths))};
    if (!m_request.infoFile.isEmpty())
        entries.push_back(infoSource(m_request));
    logStart(serial, file, first);
    QString detail;
    int code = torrentZipRefusal(m_request, file.archivePath, &detail);
    if (code == ZipOk) {
        code = zip.compress(entries);
        detail = zip.lastErrorDetail();
    }
    code = toTorrentZip(m_request, file.archivePath, code, 1, &detail);
    logNotes(serial, zip);
    logFailure(serial, file.archivePath, code, detail);
    if (code == ZipOk) {
        std::lock_guard<std::mutex> lock(m_madeLock);
        m_made.insert(file.archivePath);
    }
    result =
        outcomeOf(file.archivePath, {file.source}, code, detail, zip, deletion.takeKeptSources());
}

BatchReport zipEachFile(const ZipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                        ZipComponent& zip)
{
    const QString targetFolder = basMain::WithSeparator(
        request.targetFolder.isEmpty() ? request.files.folder : request.targetFolder);
    CancelGuard guard(zip, {});
    PerFileRun run(request, sink, questions, zip, targetFolder);
    BatchReport report;
    report.items = run.zipAll();
    const int lastResult = report.items.empty() ? int(ZipOk) : report.items.back().code;
    closeBatch(sink, questions, lastResult);
    report.end = run.quit()                         ? BatchEnd::EndProgram
                 : report.items.size() < run.size() ? BatchEnd::Stopped
                                                    : BatchEnd::Finished;
    return report;
}

} // namespace

QString keptSourceNote(const QString& keptSource)
{
    return kKeptPrefix + keptSource;
}

QStringList keptSources(const ItemOutcome& archive)
{
    QStringList kept;
    for (const QString& note : archive.notes) {
        if (note.startsWith(kKeptPrefix))
            kept.append(note.mid(kKeptPrefix.size()));
    }
    return kept;
}

QString perFileArchivePath(const QString& targetFolder, const QString& entryName,
                           bool keepExtension, ZipNameCase nameCase)
{
    QString name =
        (keepExtension ? entryName : basMain::StripExtension(entryName)) + QStringLiteral(".zip");
    // One character at a time: QString's own conversion turns a byte that is not UTF-8 into
    // U+FFFD, and the archive would not bear the file's name.
    if (nameCase == ZipNameCase::Lower)
        name = NameRules::lowerCase(name);
    else if (nameCase == ZipNameCase::Upper)
        name = NameRules::upperCase(name);
    return basMain::WithSeparator(targetFolder) + name;
}

bool nothingToZip(const ZipRequest& request)
{
    // The info file alone makes an archive in the one-archive mode.
    return request.files.empty() &&
           (request.mode != ZipRequest::Mode::OneArchive || request.infoFile.isEmpty());
}

QString nothingToZipNotice()
{
    return QStringLiteral("You didn't select any files to ZIP!");
}

BatchReport zip_files(const ZipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                      ZipComponent& zip)
{
    sink.clear_log();
    if (nothingToZip(request)) {
        questions.messageBox(nothingToZipNotice(), QStringLiteral("Whoops!"), MsgIcon::Exclamation,
                             MsgButtons::Ok);
        BatchReport report;
        report.end = BatchEnd::NothingSelected;
        return report;
    }
    return request.mode == ZipRequest::Mode::OneArchive
               ? zipIntoOneArchive(request, sink, questions, zip)
               : zipEachFile(request, sink, questions, zip);
}

} // namespace kelmar
