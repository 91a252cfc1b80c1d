#include "maintenance/ZipFiles.h"

#include "archive/ZipComponent.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"
#include "names/basMain.h"

#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace kelmar {

namespace {

const QChar CR = u'\r';

// The save dialog shows the name it was last given, as a dialog kept for the whole session
// would.
QString& lastSaveName()
{
    static QString name;
    return name;
}
QMutex& lastSaveNameLock()
{
    static QMutex lock;
    return lock;
}

// A mask's lines, one log line each: the log takes one line per call, and a bare carriage
// return inside a line would show differently in every place the log goes.
void logLines(BatchHost& host, const QString& first, const QString& mask, const QString& last)
{
    QStringList lines = mask.split(CR);
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    lines.front().prepend(first);
    lines.back().append(last);
    for (const QString& line : std::as_const(lines))
        host.write_log(line);
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

void endSteps(BatchHost& host, ArchiveEvents& events, const Options& options, int lastResult)
{
    host.release_form();
    host.showCreditLine();
    host.refresh();
    if (Options::isSet(options.chkSound))
        host.beep();
    if (lastResult == ZipAborted) {
        host.messageBox(QStringLiteral("The current process has been stopped"),
                        QStringLiteral("Abort"), MsgIcon::Information, MsgButtons::Ok);
    } else if (lastResult != ZipOk) {
        host.messageBox(QStringLiteral("Error #") + QString::number(lastResult) +
                            QStringLiteral(" occurred while unzipping the files.") + CR +
                            QStringLiteral("The zip file may not have been created."),
                        QStringLiteral("Warning"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    events.setOperationKind(ArchiveEvents::NoBatch);
}

// The end message reports only the last result; each failed archive gets its own line.
void logFailure(BatchHost& host, const QString& archivePath, int result, const QString& detail)
{
    if (result == ZipOk || result == ZipAborted)
        return;
    QString reason = zipErrorMessage(result);
    if (!detail.isEmpty())
        reason += QStringLiteral(": ") + detail;
    host.write_log(QStringLiteral("Error zipping ") + archivePath + QStringLiteral(" (") + reason +
                   u')');
}

// The name a file is stored under: its name, or with "Store Path Information" its full path
// without the leading separator.
QString entryNameFor(const QString& path, bool keepFolderNames)
{
    if (!keepFolderNames)
        return basMain::GetFileName(path);
    QString entry = QFileInfo(path).absoluteFilePath();
    while (entry.startsWith(u'/'))
        entry.remove(0, 1);
    return entry;
}

void logNotes(BatchHost& host, const ZipComponent& zip)
{
    for (const QString& note : zip.lastOutcome().notes)
        host.write_log(QStringLiteral("    (") + note + u')');
}

void whoops(BatchHost& host)
{
    host.messageBox(QStringLiteral("You didn't select any files to ZIP!"),
                    QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
}

} // namespace

int ZipFilesReport::keptCount() const
{
    int n = 0;
    for (const Archive& a : archives)
        n += int(a.kept.size());
    return n;
}

int ZipFilesReport::failedCount() const
{
    int n = 0;
    for (const Archive& a : archives)
        n += a.result != 0 ? 1 : 0;
    return n;
}

QString perFileArchivePath(const QString& targetFolder, const QString& entryName,
                           bool keepExtension, int caseChoice)
{
    QString name =
        (keepExtension ? entryName : basMain::StripExtension(entryName)) + QStringLiteral(".zip");
    if (caseChoice == UseLowerCase)
        name = name.toLower();
    else if (caseChoice == UseUpperCase)
        name = name.toUpper();
    return basMain::WithSeparator(targetFolder) + name;
}

ZipFilesReport zip_files(BatchHost& host, ZipComponent& zip)
{
    ZipFilesReport report;
    const Options options = host.options();
    ArchiveEvents events(host, zip);
    bool quit = false;
    QObject::connect(&events, &ArchiveEvents::quitRequested, [&] {
        quit = true;
        host.endProgram();
    });

    events.setOperationKind(ArchiveEvents::ZipBatch);
    const QString sourceFolder = basMain::WithSeparator(host.folder());
    zip.setKeepFolderNames(Options::isSet(options.chkUseZIPPaths));
    zip.setLevel(options.sliCompression);
    zip.setPassword(options.zipPassword());

    int selected = 0;
    for (int i = 0; i < host.fileCount(); ++i)
        selected += host.isSelected(i) ? 1 : 0;
    events.setTotalFileCount(selected);
    events.setCurrentFileNumber(1);
    host.clear_log();

    const bool withInfoFile =
        Options::isSet(options.chkInfoFile) && basMain::FileExists(options.txtInfoFile);

    const bool keepFolderNames = Options::isSet(options.chkUseZIPPaths);
    auto infoSource = [&] {
        return ZipSource::file(options.txtInfoFile,
                               entryNameFor(options.txtInfoFile, keepFolderNames),
                               ZipSource::OnClash::Skip);
    };

    if (options.radOneZIP) {
        // The mask is only what the log shows; the component gets the files themselves.
        QString mask = withInfoFile ? options.txtInfoFile + CR : QString();
        QStringList sources;
        std::vector<ZipSource> entries;
        if (withInfoFile)
            entries.push_back(infoSource());
        for (int i = 0; i < host.fileCount(); ++i) {
            if (host.isSelected(i)) {
                sources.append(sourceFolder + host.fileName(i));
                mask += sources.back() + CR;
                entries.push_back(ZipSource::file(sources.back(),
                                                  entryNameFor(sources.back(), keepFolderNames),
                                                  ZipSource::OnClash::Rename));
            }
        }
        if (!mask.endsWith(CR)) {
            report.nothingSelected = true;
            whoops(host);
            events.setOperationKind(ArchiveEvents::NoBatch);
            return report;
        }
        mask.chop(1);
        QString initial;
        {
            QMutexLocker lock(&lastSaveNameLock());
            initial = lastSaveName();
        }
        const QString archivePath =
            host.saveFileName(QStringLiteral("Where do you want to ZIP the files to?"),
                              QStringLiteral("Zip Files|*.zip"), initial)
                .value_or(QString());
        if (archivePath.isEmpty()) {
            report.cancelled = true;
            events.setOperationKind(ArchiveEvents::NoBatch);
            return report;
        }
        {
            QMutexLocker lock(&lastSaveNameLock());
            lastSaveName() = archivePath;
        }
        zip.setArchivePath(archivePath);
        host.protect_form();
        logLines(host, QStringLiteral("Zipping files: "), mask,
                 QStringLiteral(" to ") + archivePath);
        int result;
        {
            // A single archive can take long; Stop cancels it, and the archive stays as it was.
            CancelGuard guard(zip, [&host] { return host.stopRequested(); });
            result = zip.compress(entries);
        }
        logNotes(host, zip);
        logFailure(host, archivePath, result, zip.lastErrorDetail());
        report.archives.push_back(
            {archivePath, sources, result, zip.lastErrorDetail(), events.takeKeptSources()});
        report.lastResult = result;
        report.stopped = result == ZipAborted;
        endSteps(host, events, options, result);
        return report;
    }

    if (selected == 0) {
        report.nothingSelected = true;
        whoops(host);
        events.setOperationKind(ArchiveEvents::NoBatch);
        return report;
    }

    QString targetFolder =
        Options::isSet(options.chkSaveZIPsinSameFolder) ? sourceFolder : QString();
    host.protect_form();
    CancelGuard guard(zip, {});
    bool firstArchive = true;
    QSet<QString> madeThisRun;
    int lastResult = ZipOk;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (!host.isSelected(position))
            continue;
        const QString name = host.fileName(position);
        const QString source = sourceFolder + name;
        std::vector<ZipSource> entries{
            ZipSource::file(source, entryNameFor(source, keepFolderNames))};
        if (withInfoFile)
            entries.push_back(infoSource());
        if (targetFolder.isEmpty()) {
            const QString answer =
                host.browseForFolder(
                        QStringLiteral("Select the folder you store the ZIP files in."))
                    .value_or(QString());
            if (answer.isEmpty()) {
                host.release_form();
                events.setOperationKind(ArchiveEvents::NoBatch);
                report.cancelled = true;
                return report;
            }
            targetFolder = basMain::WithSeparator(answer);
        }
        const QString archivePath =
            perFileArchivePath(targetFolder, name, Options::isSet(options.chkUseOriginalExtensions),
                               options.cmbFileCase);
        zip.setArchivePath(archivePath);
        if (firstArchive) {
            host.write_log(QStringLiteral("Individually Zipping the Following Files to ") +
                           targetFolder);
            firstArchive = false;
        }
        host.write_log(source);
        if (withInfoFile)
            host.write_log(options.txtInfoFile);
        if (madeThisRun.contains(archivePath)) {
            host.write_log(QStringLiteral("    (") + name + QStringLiteral(" goes into ") +
                           basMain::GetFileName(archivePath) +
                           QStringLiteral(" with an earlier file of the same name)"));
        }
        lastResult = zip.compress(entries);
        const QString detail = zip.lastErrorDetail();
        logNotes(host, zip);
        logFailure(host, archivePath, lastResult, detail);
        if (lastResult == ZipOk)
            madeThisRun.insert(archivePath);
        report.archives.push_back(
            {archivePath, {source}, lastResult, detail, events.takeKeptSources()});
        if (host.stopRequested() || quit) {
            for (int later = position + 1; later < host.fileCount(); ++later)
                report.stopped = report.stopped || host.isSelected(later);
            break;
        }
    }
    report.lastResult = lastResult;
    endSteps(host, events, options, lastResult);
    return report;
}

} // namespace kelmar
