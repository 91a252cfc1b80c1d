// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/DatBatches.h"

#include "archive/ZipError.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/SerialProgress.h"

#include <cerrno>
#include <mutex>

namespace kelmar {

using namespace catalogue;

namespace {

// Reads the collection's files on the pool, in list order.
bool scanCollection(const DatRequest& request, ProgressSink& sink, DatOutcome& out)
{
    const QStringList files = collectionFiles(request.roots, &out.missingRoots);
    out.scan.assign(size_t(files.size()), ScannedItem());
    std::mutex lock;
    ArchivePool::Batch batch;
    batch.workers = request.workers;
    batch.keys = [](int) { return QStringList(); }; // reading only: nothing to keep apart
    batch.work = [&](int i) { out.scan[size_t(i)] = scanFile(files[i], request.hash); };
    const int total = int(files.size());
    const int started = ArchivePool::run(
        total, batch, [&] { return SerialProgress::stopRequestedUnder(sink, lock); },
        [&](int i) {
            if (i % 64 != 0 && i + 1 != total)
                return;
            std::lock_guard<std::mutex> guard(lock);
            sink.setStatusText(QStringLiteral("Reading %1 of %2").arg(i + 1).arg(total));
        });
    out.scan.resize(size_t(started));
    return started == total;
}

void judge(const DatRequest& request, ProgressSink& sink, DatOutcome& out, bool log)
{
    out.verification = verifyCollection(*request.catalogue, out.scan, request.hash);
    for (int i : out.verification.unreadable) {
        const ScannedItem& item = out.scan[size_t(i)];
        ItemOutcome o;
        o.path = item.path;
        o.result = ItemResult::Failed;
        o.code = item.code;
        o.reason = zipErrorMessage(item.code) +
                   (item.error.isEmpty() ? QString() : QStringLiteral(": ") + item.error);
        if (log)
            sink.write_log(fs::printableName(fs::fileNameOf(item.path)) +
                       QStringLiteral(" could not be read (") + o.reason + u')');
        out.report.items.push_back(o);
    }
}

} // namespace

QString datSummary(const StatusCounts& counts)
{
    return QStringLiteral("%1 complete, %2 fixable, %3 incomplete, %4 missing, %5 unknown")
        .arg(counts.complete)
        .arg(counts.fixable)
        .arg(counts.incomplete)
        .arg(counts.missing)
        .arg(counts.unknown);
}

DatOutcome dat_verify(const DatRequest& request, ProgressSink& sink, BatchQuestions&)
{
    DatOutcome out;
    sink.clear_log();
    if (!scanCollection(request, sink, out))
        out.report.end = BatchEnd::Stopped;
    judge(request, sink, out, true);
    sink.write_log(datSummary(out.verification.counts));
    sink.showCreditLine();
    return out;
}

DatOutcome dat_fix(const DatRequest& request, ProgressSink& sink, BatchQuestions& questions)
{
    DatOutcome out = dat_verify(request, sink, questions);
    if (out.report.stopped())
        return out;
    out.plan = planFix(*request.catalogue, out.scan, out.verification);
    for (const QString& note : out.plan.notes)
        sink.write_log(note);
    if (request.dryRun)
        return out;
    for (const FixStep& s : out.plan.steps) {
        if (sink.stopRequested()) {
            out.report.end = BatchEnd::Stopped;
            break;
        }
        ItemOutcome o;
        o.path = s.archive.isEmpty() ? s.target : s.archive;
        o.target = s.kind == FixStep::Kind::UpdateArchive ? s.archive : s.target;
        sink.setStatusText(QStringLiteral("Fixing %1").arg(request.catalogue->sets[size_t(s.set)].name));
        QString detail;
        o.code = runFixStep(s, &detail);
        if (o.code == ZipOk) {
            o.result = ItemResult::Done;
            const FixPlan single{{s}, {}};
            for (const QString& line : describePlan(single))
                sink.write_log(line);
        } else {
            o.result = ItemResult::Failed;
            o.reason = zipErrorMessage(o.code) + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
            sink.write_log(fs::printableName(o.path) + QStringLiteral(" could not be fixed (") +
                           o.reason + u')');
        }
        out.report.items.push_back(o);
    }
    if (out.plan.steps.empty())
        return out;
    // The collection as the fix left it.
    const BatchReport fixed = out.report;
    DatOutcome after;
    scanCollection(request, sink, after);
    judge(request, sink, after, false);
    after.plan = std::move(out.plan);
    after.report = fixed;
    sink.write_log(datSummary(after.verification.counts));
    sink.showCreditLine();
    return after;
}

DatOutcome dat_clean(const DatRequest& request, ProgressSink& sink, BatchQuestions& questions)
{
    DatOutcome out = dat_verify(request, sink, questions);
    if (out.report.stopped() || request.moveTo.isEmpty())
        return out;
    for (const FileRef& ref : out.verification.unknown) {
        if (ref.file >= 0 && out.scan[size_t(ref.item)].archive)
            continue; // an entry: its archive holds ROMs too
        if (sink.stopRequested()) {
            out.report.end = BatchEnd::Stopped;
            break;
        }
        ItemOutcome o;
        o.path = out.scan[size_t(ref.item)].path;
        o.target = fs::withSeparator(request.moveTo) + fs::fileNameOf(o.path);
        QString error;
        if (fs::renameNoReplace(o.path, o.target, &error)) {
            sink.write_log(QStringLiteral("Moved %1 to %2")
                               .arg(fs::printableName(o.path), fs::printableName(request.moveTo)));
        } else {
            o.result = ItemResult::Failed;
            o.reason = errno == EXDEV ? QStringLiteral("the folder is on another file system")
                                      : error;
            sink.write_log(fs::printableName(o.path) + QStringLiteral(" is not moved (") + o.reason + u')');
        }
        out.report.items.push_back(o);
    }
    return out;
}

} // namespace kelmar
