// SPDX-License-Identifier: GPL-3.0-or-later
// "ZIP Files" in the per-file mode.
#include "archive/BufferBudget.h"
#include "archive/ZipComponent.h"
#include "fs/FileIdentity.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/GroupedDeletion.h"
#include "maintenance/SerialProgress.h"
#include "maintenance/SourceDeletion.h"
#include "maintenance/ZipSteps.h"
#include "names/basMain.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace kelmar::zipsteps {

namespace {

// Sources kept once their archive's group was flushed join those kept at once.
void noteKept(ItemOutcome& item, const QStringList& kept)
{
    if (kept.isEmpty())
        return;
    for (const QString& k : kept)
        item.notes.append(keptSourceNote(k));
    if (item.code == ZipOk) {
        item.result = ItemResult::Kept;
        item.reason = keptSources(item).join(QStringLiteral("; "));
    }
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
          m_targetFolder(targetFolder), m_grouped([this](const QStringList& lines) {
              SerialProgress::writeHeldLog(m_sink, m_lock, lines);
          })
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
        // What the batch last wrote there (with deleteSources; under m_madeLock).
        std::optional<fs::FileIdentity> latest;
    };
    // The sources of an archive written, waiting for the flush of their group. The lines
    // the deletions log go at logAt in the archive's lines, where they would stand had each
    // archive been flushed on its own.
    struct Waiting
    {
        PendingSources pending;
        std::optional<fs::FileIdentity> written; // the archive as the flush will find it
        qsizetype logAt = 0;
    };

    void addFile(const QString& name, const QString& source);
    int componentFor(const QString& archivePath);
    QStringList keysOf(int i, const QString& infoKey) const;
    void finishOne(int i, QStringList& log, ItemOutcome& result);
    void deleteWhenFlushed(int i, const QStringList& log, ItemOutcome& result);
    void zipOne(int i, QStringList& log, ItemOutcome& result);
    void noteWritten(int i, PendingSources pending, qsizetype logAt);
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
    std::vector<std::shared_ptr<Waiting>> m_waiting; // by file, from its work to its finish
    GroupedDeletion m_grouped;
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
    const QString folder =
        m_request.targetFolder.isEmpty() ? m_targetFolder + name.left(slash + 1) : m_targetFolder;
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
    m_archives.push_back({std::make_unique<ZipComponent>(), archivePath, 0, std::nullopt});
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

void PerFileRun::finishOne(int i, QStringList& log, ItemOutcome& result)
{
    if (!m_request.deleteSources)
        SerialProgress::writeHeldLog(m_sink, m_lock, log);
    else
        deleteWhenFlushed(i, log, result);
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
    m_waiting.resize(m_files.size());
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
    batch.work = [&](int i) { zipOne(i, logs[size_t(i)], results[size_t(i)]); };
    batch.finish = [&](int i) {
        finishOne(i, logs[size_t(i)], results[size_t(i)]);
        SerialProgress::countUnder(
            m_sink, m_lock, BatchCount{QStringLiteral("Zipping"), i + 1, int(m_files.size())});
    };
    const int started = ArchivePool::run(int(m_files.size()), batch, [&] {
        return SerialProgress::stopRequestedUnder(m_sink, m_lock) || m_quit.load();
    });
    // Stop, or No to an error, leaves the archives written so far to be flushed and their
    // sources checked and deleted, as each would have been right after it was written.
    m_grouped.finish();
    results.resize(size_t(started));
    return results;
}

void PerFileRun::noteWritten(int i, PendingSources pending, qsizetype logAt)
{
    const File& file = m_files[size_t(i)];
    const std::optional<fs::FileIdentity> now =
        fs::FileIdentity::ofPath(fs::nativeName(file.archivePath), true);
    {
        std::lock_guard<std::mutex> lock(m_madeLock);
        m_archives[size_t(file.component)].latest = now;
    }
    if (!pending.sources.empty())
        m_waiting[size_t(i)] = std::make_shared<Waiting>(Waiting{std::move(pending), now, logAt});
}

// The sources go once the group's flush covers their archive, each checked then as it would
// have been right after the write; the lines of the archives after it wait with it.
void PerFileRun::deleteWhenFlushed(int i, const QStringList& log, ItemOutcome& result)
{
    std::shared_ptr<Waiting> waiting = std::exchange(m_waiting[size_t(i)], nullptr);
    if (!waiting) {
        m_grouped.add(log);
        return;
    }
    const QString archivePath = waiting->pending.archivePath;
    const qsizetype slash = archivePath.lastIndexOf(u'/');
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : archivePath.left(slash);
    const QStringList after = log.mid(waiting->logAt);
    const int component = m_files[size_t(i)].component;
    m_grouped.add(log.mid(0, waiting->logAt), folder,
                  [this, waiting, after, component, &result](bool synced, int error) {
                      std::optional<fs::FileIdentity> later;
                      {
                          std::lock_guard<std::mutex> lock(m_madeLock);
                          later = m_archives[size_t(component)].latest;
                      }
                      const QString fault =
                          SourceDeletion::archiveFault(waiting->pending.archivePath,
                                                       synced ? 0 : error, waiting->written, later);
                      QStringList kept;
                      QStringList lines =
                          SourceDeletion::removeFlushed(waiting->pending, fault, &kept);
                      noteKept(result, kept);
                      return lines + after;
                  });
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

void PerFileRun::zipOne(int i, QStringList& log, ItemOutcome& result)
{
    const File& file = m_files[size_t(i)];
    SerialProgress serial(m_sink, m_questions, m_lock, &log);
    ZipComponent& zip = *m_archives[size_t(file.component)].zip;
    ArchiveEvents events(serial, serial, &m_quit, zip);
    events.setOperationKind(ArchiveEvents::ZipBatch);
    events.setRules({m_request.infoFile});
    SourceDeletion deletion(serial, zip, {m_request.deleteSources, m_request.infoFile, true});
    events.setTotalFileCount(m_request.files.size());
    events.shareFinishedCount(&m_finished);
    configure(zip, m_request);
    zip.setArchivePath(file.archivePath);

    std::vector<ZipSource> entries{
        ZipSource::file(file.source, entryNameFor(file.source, m_request.keepPaths))};
    if (!m_request.infoFile.isEmpty())
        entries.push_back(infoSource(m_request));
    logStart(serial, file, i == 0);
    QString detail;
    int code = torrentZipRefusal(m_request, file.archivePath, &detail);
    // A file too large to deflate whole (a disc image) takes a while: Stop cancels its
    // archive, which is left as it was, as a single archive is. Smaller ones finish.
    const std::optional<fs::FileIdentity> source =
        fs::FileIdentity::ofPath(fs::nativeName(file.source), true);
    zip.setCancelCheck({});
    if (source && source->size > BufferBudget::kEntryCap)
        zip.setCancelCheck([this] {
            return SerialProgress::stopRequestedUnder(m_sink, m_lock) || m_quit.load();
        });
    if (code == ZipOk) {
        code = zip.compress(entries);
        detail = zip.lastErrorDetail();
    }
    // Up to here the log reads as it would had the sources gone right after the write.
    const qsizetype logAt = log.size();
    const bool written = code == ZipOk;
    code = toTorrentZip(m_request, file.archivePath, code, 1, &detail);
    if (written && m_request.deleteSources)
        noteWritten(i, deletion.takePending(), logAt);
    logNotes(serial, zip);
    logFailure(serial, file.archivePath, code, detail);
    if (code == ZipOk) {
        std::lock_guard<std::mutex> lock(m_madeLock);
        m_made.insert(file.archivePath);
    }
    result =
        outcomeOf(file.archivePath, {file.source}, code, detail, zip, deletion.takeKeptSources());
}

} // namespace

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
    // A Stop that cancelled an archive in hand (a disc image) stopped the batch too.
    const bool cancelled =
        std::any_of(report.items.begin(), report.items.end(),
                    [](const ItemOutcome& item) { return item.code == ZipAborted; });
    report.end = run.quit()                                      ? BatchEnd::EndProgram
                 : report.items.size() < run.size() || cancelled ? BatchEnd::Stopped
                                                                 : BatchEnd::Finished;
    return report;
}

} // namespace kelmar::zipsteps
