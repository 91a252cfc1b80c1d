// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ZipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/SourceDeletion.h"
#include "maintenance/ZipSteps.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <atomic>

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

} // namespace

namespace zipsteps {

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

} // namespace zipsteps

namespace {

using namespace zipsteps;

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
               : zipsteps::zipEachFile(request, sink, questions, zip);
}

} // namespace kelmar
