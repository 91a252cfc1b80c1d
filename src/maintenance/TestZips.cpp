#include "maintenance/TestZips.h"

#include "archive/ZipComponent.h"
#include "fs/AddModeBits.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/BatchHost.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <sys/stat.h>

namespace kelmar {

namespace {

QString reasonOf(int result, const QString& detail)
{
    return detail.isEmpty() ? zipErrorMessage(result)
                            : zipErrorMessage(result) + QStringLiteral(": ") + detail;
}

// Tests one archive and sets a damaged one aside; the log lines go to host.
TestZipsReport::Archive testOne(BatchHost& host, ZipComponent& zip, const QString& path)
{
    zip.setArchivePath(path);
    int result = zip.test();
    // Damage is declared only after two failed tests in a row.
    if (result != ZipOk && !zipResultIsUnjudged(result))
        result = zip.test();
    TestZipsReport::Archive archive;
    archive.path = path;
    archive.result = result;
    const QString name = basMain::GetFileName(zip.archivePath());
    if (result == ZipOk) {
        archive.verdict = TestZipsReport::Verdict::Good;
    } else if (zipResultIsUnjudged(result)) {
        archive.verdict = TestZipsReport::Verdict::NotTested;
        archive.reason = reasonOf(result, zip.lastErrorDetail());
        host.write_log(name + QStringLiteral(" could not be tested (") + archive.reason + u')');
    } else {
        archive.verdict = TestZipsReport::Verdict::Bad;
        archive.reason = reasonOf(result, zip.lastErrorDetail());
        host.write_log(name + QStringLiteral(" is bad!"));
        host.write_log(QStringLiteral("    ") + archive.reason);
        // Normal attributes: writable by its owner, so a read-only archive is renamed too. An
        // archive reached through a link keeps its target's mode: only the link is renamed.
        fs::addModeBits(path, S_IRUSR | S_IWUSR);
        const QString bad = path + QStringLiteral(".bad");
        QString error;
        if (basMain::IsListedFile(bad)) {
            // The log line alone marks it; the existing .bad file is not touched.
        } else if (fs::renameNoReplace(path, bad, &error)) {
            archive.renamedTo = bad;
        } else {
            host.write_log(QStringLiteral("    could not be renamed to ") +
                           basMain::GetFileName(bad) + QStringLiteral(": ") + error);
        }
    }
    return archive;
}

} // namespace

int TestZipsReport::count(Verdict verdict) const
{
    int n = 0;
    for (const Archive& a : archives)
        n += a.verdict == verdict ? 1 : 0;
    return n;
}

TestZipsReport test_zip_files(BatchHost& host, ZipComponent& zip,
                              const std::function<void(int, int, const QString&)>& onArchive)
{
    TestZipsReport report;
    const Options options = host.options();

    host.clear_log();
    host.protect_form();

    zip.setPassword(options.unzipPassword());
    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    const bool nothingSelected = positions.empty();

    // Archives are tested several at once, each by a component of its own that lives only
    // while it runs (a batch may hold a hundred thousand archives).
    const QString password = zip.password();
    PoolBatchResults<TestZipsReport::Archive> run = runOnPool<TestZipsReport::Archive>(
        host, positions,
        [&](BatchHost& serial, int, const QString& path) {
            ZipComponent mine;
            mine.setPassword(password);
            return testOne(serial, mine, path);
        },
        onArchive);
    report.archives = std::move(run.results);
    report.stopped = run.stopped;
    if (nothingSelected) {
        host.messageBox(QStringLiteral("You didn't select any Zip files to test!"),
                        QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    host.release_form();
    if (Options::isSet(options.chkSound))
        host.beep();
    host.refresh();
    report.nothingSelected = nothingSelected;
    return report;
}

} // namespace kelmar
