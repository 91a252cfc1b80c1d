#include "maintenance/TestZips.h"

#include "archive/ZipComponent.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/BatchHost.h"
#include "names/basMain.h"

#include <sys/stat.h>

namespace kelmar {

namespace {

QString reasonOf(int result, const QString& detail)
{
    return detail.isEmpty() ? zipErrorMessage(result)
                            : zipErrorMessage(result) + QStringLiteral(": ") + detail;
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
    QString folder = fs::withSeparator(host.folder());
    const Options options = host.options();

    host.clear_log();
    host.protect_form();

    zip.setPassword(options.unzipPassword());
    bool nothingSelected = true;
    int total = 0;
    for (int i = 0; i < host.fileCount(); ++i)
        total += host.isSelectedArchive(i) ? 1 : 0;
    int number = 0;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelectedArchive(position)) {
            nothingSelected = false;
            const QString path = folder + host.fileName(position);
            if (onArchive)
                onArchive(++number, total, path);
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
                host.write_log(name + QStringLiteral(" could not be tested (") + archive.reason +
                               u')');
            } else {
                archive.verdict = TestZipsReport::Verdict::Bad;
                archive.reason = reasonOf(result, zip.lastErrorDetail());
                host.write_log(name + QStringLiteral(" is bad!"));
                host.write_log(QStringLiteral("    ") + archive.reason);
                // Normal attributes: writable by its owner, so a read-only archive is renamed too.
                const QByteArray native = fs::nativeName(path);
                struct stat st;
                if (::stat(native.constData(), &st) == 0)
                    ::chmod(native.constData(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
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
            report.archives.push_back(archive);
        }
        if (host.stopRequested()) {
            report.stopped = position + 1 < host.fileCount();
            break;
        }
    }
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
