#include "maintenance/ZipFiles.h"

#include "archive/ZipComponent.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/BatchHost.h"
#include "maintenance/SerialHost.h"
#include "maintenance/SourceDeletion.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

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
    host.write_log(QStringLiteral("Error zipping ") + fs::printableName(archivePath) +
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

// The per-file mode: one archive per selected file, several at once (ArchivePool). Files that
// go into the same archive share one component, in list order, so the second finds the first's
// entry and the log names both, exactly as in a run one archive after another.
class PerFileRun
{
public:
    PerFileRun(BatchHost& host, ZipComponent& batchZip, const Options& options,
               const QString& targetFolder, const ZipSource& info, bool keepFolderNames,
               int selected)
        : m_host(host), m_batchZip(batchZip), m_options(options), m_targetFolder(targetFolder),
          m_info(info), m_keepFolderNames(keepFolderNames), m_selected(selected)
    {
    }

    size_t size() const { return m_files.size(); }

    void addFile(const QString& name, const QString& sourceFolder)
    {
        File file;
        file.name = name;
        file.source = sourceFolder + name;
        file.archivePath = perFileArchivePath(m_targetFolder, name,
                                              Options::isSet(m_options.chkUseOriginalExtensions),
                                              m_options.cmbFileCase);
        // Case-folded: on a file system that ignores case two spellings are one file.
        const QString key = fs::foldedName(file.archivePath);
        auto it = m_componentOf.find(key);
        if (it == m_componentOf.end()) {
            m_archives.push_back({std::make_unique<ZipComponent>(), file.archivePath, 0});
            ZipComponent& zip = *m_archives.back().zip;
            // What the batch's component stored there in an earlier run of the same session.
            zip.rememberStoredFrom(m_batchZip, file.archivePath);
            if (const std::function<void()> hook = m_batchZip.afterWriteHook()) {
                zip.setAfterWriteHook([this, hook] {
                    std::lock_guard<std::mutex> lock(m_hookLock);
                    hook();
                });
            }
            it = m_componentOf.emplace(key, int(m_archives.size()) - 1).first;
        }
        file.component = it->second;
        m_archives[size_t(file.component)].lastFile = int(m_files.size());
        m_files.push_back(file);
    }

    // Zips every file (until Stop); returns how many archives were started.
    int zipAll(ZipFilesReport& report, bool& quit)
    {
        std::vector<ZipFilesReport::Archive> results(m_files.size());
        std::vector<QStringList> logs(m_files.size());
        const QString infoKey =
            m_info.path.isEmpty() ? QString() : fs::foldedName(fs::absolutePath(m_info.path));
        bool infoIsAnArchive = false;
        for (const File& file : m_files)
            infoIsAnArchive = infoIsAnArchive || fs::foldedName(file.archivePath) == infoKey;
        ArchivePool::Batch batch;
        // What one archive writes another must not read or write meanwhile.
        batch.keys = [&](int i) {
            const File& file = m_files[size_t(i)];
            QStringList keys{fs::foldedName(file.archivePath), fs::foldedName(file.source)};
            if (infoIsAnArchive)
                keys.append(infoKey);
            return keys;
        };
        batch.work = [&](int i) {
            zipOne(m_files[size_t(i)], i == 0, logs[size_t(i)], results[size_t(i)]);
        };
        batch.finish = [&](int i) {
            SerialHost::writeHeldLog(m_host, m_hostLock, logs[size_t(i)]);
            logs[size_t(i)].clear();
            // The archive's last file is done: what it stored is remembered for the next batch
            // of this component, and the archive's own component goes (a batch may make a
            // hundred thousand archives).
            Archive& archive = m_archives[size_t(m_files[size_t(i)].component)];
            if (archive.lastFile == i) {
                m_batchZip.rememberStoredFrom(*archive.zip, archive.path);
                archive.zip.reset();
            }
        };
        const int started = ArchivePool::run(int(m_files.size()), batch, [&] {
            std::lock_guard<std::mutex> lock(m_hostLock);
            return m_host.stopRequested() || m_quit.load();
        });
        for (int i = 0; i < started; ++i)
            report.archives.push_back(results[size_t(i)]);
        quit = quit || m_quit.load();
        return started;
    }

private:
    struct File
    {
        QString name;
        QString source;
        QString archivePath;
        int component = 0; // in m_archives
    };

    void zipOne(const File& file, bool first, QStringList& log, ZipFilesReport::Archive& result)
    {
        SerialHost host(m_host, m_hostLock, &log);
        ZipComponent& zip = *m_archives[size_t(file.component)].zip;
        ArchiveEvents events(host, zip);
        QObject::connect(&events, &ArchiveEvents::quitRequested, [&] {
            m_quit.store(true);
            host.endProgram();
        });
        events.setOperationKind(ArchiveEvents::ZipBatch);
        events.setRules({m_options.txtInfoFile});
        SourceDeletion deletion(host, zip,
                                {Options::isSet(m_options.chkDeleteFiles), m_options.txtInfoFile});
        events.setTotalFileCount(m_selected);
        events.shareFinishedCount(&m_finished);
        zip.setKeepFolderNames(m_keepFolderNames);
        zip.setLevel(m_options.sliCompression);
        zip.setPassword(m_options.zipPassword());
        zip.setArchivePath(file.archivePath);

        std::vector<ZipSource> entries{
            ZipSource::file(file.source, entryNameFor(file.source, m_keepFolderNames))};
        if (!m_info.path.isEmpty())
            entries.push_back(m_info);
        if (first) {
            host.write_log(QStringLiteral("Individually Zipping the Following Files to ") +
                           m_targetFolder);
        }
        host.write_log(file.source);
        if (!m_info.path.isEmpty())
            host.write_log(m_info.path);
        // An earlier file of the same archive has finished: they share a component.
        bool made;
        {
            std::lock_guard<std::mutex> lock(m_madeLock);
            made = m_made.contains(file.archivePath);
        }
        if (made) {
            host.write_log(QStringLiteral("    (") + file.name + QStringLiteral(" goes into ") +
                           basMain::GetFileName(file.archivePath) +
                           QStringLiteral(" with an earlier file of the same name)"));
        }
        const int code = zip.compress(entries);
        const QString detail = zip.lastErrorDetail();
        logNotes(host, zip);
        logFailure(host, file.archivePath, code, detail);
        if (code == ZipOk) {
            std::lock_guard<std::mutex> lock(m_madeLock);
            m_made.insert(file.archivePath);
        }
        result = {file.archivePath, {file.source}, code, detail, deletion.takeKeptSources()};
    }

    BatchHost& m_host;
    ZipComponent& m_batchZip;
    const Options& m_options;
    QString m_targetFolder;
    ZipSource m_info;
    bool m_keepFolderNames;
    int m_selected;
    std::vector<File> m_files;
    // Each archive of the batch, with the component that writes it until its last file is in.
    struct Archive
    {
        std::unique_ptr<ZipComponent> zip;
        QString path;
        int lastFile = 0;
    };
    std::vector<Archive> m_archives;
    std::map<QString, int> m_componentOf;
    std::mutex m_hookLock;
    std::mutex m_hostLock;
    FinishedCount m_finished;
    std::atomic<bool> m_quit{false};
    std::mutex m_madeLock;
    QSet<QString> m_made;
};

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
    // One character at a time: QString's own conversion turns a byte that is not UTF-8 into
    // U+FFFD, and the archive would not bear the file's name.
    if (caseChoice == UseLowerCase)
        name = NameRules::lowerCase(name);
    else if (caseChoice == UseUpperCase)
        name = NameRules::upperCase(name);
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
    events.setRules({options.txtInfoFile});
    SourceDeletion deletion(host, zip,
                            {Options::isSet(options.chkDeleteFiles), options.txtInfoFile});
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
            // Its files are deflated on every worker while libzip writes them in order.
            zip.setCompressThreads(ArchivePool::workers());
            result = zip.compress(entries);
            zip.setCompressThreads(1);
        }
        logNotes(host, zip);
        logFailure(host, archivePath, result, zip.lastErrorDetail());
        report.archives.push_back(
            {archivePath, sources, result, zip.lastErrorDetail(), deletion.takeKeptSources()});
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
    if (targetFolder.isEmpty()) {
        const QString answer =
            host.browseForFolder(QStringLiteral("Select the folder you store the ZIP files in."))
                .value_or(QString());
        if (answer.isEmpty()) {
            host.release_form();
            events.setOperationKind(ArchiveEvents::NoBatch);
            report.cancelled = true;
            return report;
        }
        targetFolder = basMain::WithSeparator(answer);
    }

    // One archive per selected file, run on the pool; see zipEachFile.
    PerFileRun run(host, zip, options, targetFolder, withInfoFile ? infoSource() : ZipSource(),
                   keepFolderNames, selected);
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelected(position))
            run.addFile(host.fileName(position), sourceFolder);
    }
    const int started = run.zipAll(report, quit);
    report.stopped = started < int(run.size());
    const int lastResult = report.archives.empty() ? int(ZipOk) : report.archives.back().result;
    report.lastResult = lastResult;
    endSteps(host, events, options, lastResult);
    return report;
}

} // namespace kelmar
