// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/TestZips.h"

#include "archive/TorrentZip.h"
#include "archive/ZipComponent.h"
#include "fs/AddModeBits.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <sys/stat.h> // S_IRUSR, S_IWUSR: the mode bits added (fs::addModeBits)

namespace kelmar {

namespace {

QString reasonOf(int result, const QString& detail)
{
    return detail.isEmpty() ? zipErrorMessage(result)
                            : zipErrorMessage(result) + QStringLiteral(": ") + detail;
}

// Sets a damaged archive aside as <path>.bad, unless that name is taken; the ".bad" path, or
// nothing when it keeps its name.
QString setAside(ProgressSink& log, const QString& path)
{
    // Normal attributes: writable by its owner, so a read-only archive is renamed too. An
    // archive reached through a link keeps its target's mode: only the link is renamed.
    fs::addModeBits(path, S_IRUSR | S_IWUSR);
    const QString bad = path + QStringLiteral(".bad");
    QString error;
    if (basMain::IsListedFile(bad))
        return QString(); // the log line alone marks it; the existing .bad file is not touched
    if (fs::renameNoReplace(path, bad, &error))
        return bad;
    log.write_log(QStringLiteral("    could not be renamed to ") + basMain::GetFileName(bad) +
                  QStringLiteral(": ") + error);
    return QString();
}

// Tests one archive and sets a damaged one aside when asked; the log lines go to log and
// name the archive as the list does (with its sub-folder when the list shows sub-folders).
ItemOutcome testOne(ProgressSink& log, ZipComponent& zip, const QString& path,
                    const QString& name, bool setAsideBad, bool torrentZip)
{
    // Before a damaged archive is renamed.
    std::optional<bool> layout;
    if (torrentZip)
        layout = torrentzip::isTorrentZipFile(path);
    zip.setArchivePath(path);
    int result = zip.test();
    // Damage is declared only after two failed tests in a row.
    if (result != ZipOk && !zipResultIsUnjudged(result))
        result = zip.test();
    ItemOutcome item;
    item.path = path;
    item.code = result;
    item.torrentZip = layout;
    if (layout == false)
        log.write_log(name + QStringLiteral(" is not TorrentZip"));
    if (result == ZipOk) {
        item.result = ItemResult::Done;
    } else if (zipResultIsUnjudged(result)) {
        item.result = ItemResult::NotJudged;
        item.reason = reasonOf(result, zip.lastErrorDetail());
        log.write_log(name + QStringLiteral(" could not be tested (") + item.reason + u')');
    } else {
        item.result = ItemResult::Failed;
        item.reason = reasonOf(result, zip.lastErrorDetail());
        log.write_log(name + QStringLiteral(" is bad!"));
        log.write_log(QStringLiteral("    ") + item.reason);
        if (setAsideBad)
            item.target = setAside(log, path);
    }
    return item;
}

} // namespace

BatchReport test_zip_files(const TestRequest& request, ProgressSink& sink,
                           BatchQuestions& questions, const ArchiveTaken& onArchive)
{
    BatchReport report;
    sink.clear_log();
    // Archives are tested several at once, each by a component of its own that lives only
    // while it runs (a batch may hold a hundred thousand archives).
    PoolBatchResults<ItemOutcome> run = runOnPool<ItemOutcome>(
        request.files, request.workers, sink, questions,
        [&](SerialProgress& serial, int number, const QString& path) {
            ZipComponent mine;
            mine.setPassword(request.password);
            return testOne(serial, mine, path, request.files.names.at(number - 1),
                           request.setAsideBad, request.checkTorrentZip);
        },
        onArchive, QStringLiteral("Testing"));
    report.items = std::move(run.results);
    if (run.stopped)
        report.end = BatchEnd::Stopped;
    if (request.files.empty()) {
        report.end = BatchEnd::NothingSelected;
        questions.messageBox(QStringLiteral("You didn't select any Zip files to test!"),
                             QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    return report;
}

} // namespace kelmar
