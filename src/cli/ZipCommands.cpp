// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli zip and folders-to-zips.
#include "archive/ZipComponent.h"
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "cli/ProgressHost.h"
#include "cli/RunOptions.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/FoldersToZips.h"
#include "maintenance/RebuildArchive.h"
#include "maintenance/ZipFiles.h"
#include "maintenance/ZipOptions.h"

#include <algorithm>

namespace kelmar::cli {


namespace {

// The options both commands share, applied over the saved options.
OptionTable sharedOptions(Options& options)
{
    return {
        levelOption(options).described(QStringLiteral("N"),
                                       QStringLiteral("0 (store) to 9; 6 is zip's default.")),
        zipPasswordOption(options).described(
            QStringLiteral("PW"), QStringLiteral("Encrypt new entries with AES-256 and PW.")),
        cliSwitch({QStringLiteral("--no-password")},
                  [&options] { options.chkZIPPassword = Check::Clear; })
            .described(QStringLiteral("Do not encrypt even if a password is saved.")),
        cliSwitch({QStringLiteral("--keep-paths")},
                  [&options] { options.chkUseZIPPaths = Check::Ticked; })
            .described(QStringLiteral("Store each file's full path (without the leading /).")),
        cliSwitch({QStringLiteral("--no-keep-paths")},
                  [&options] { options.chkUseZIPPaths = Check::Clear; })
            .described(QStringLiteral("Store file names only.")),
    };
}

// "PATH: error N: what went wrong", in the component's own words when it has them.
QString failure(const QString& path, int result, const QString& detail)
{
    // One arg call: a "%1" in a file name is not a place holder.
    return QStringLiteral("%1: error %2: %3")
        .arg(fs::printableName(path), QString::number(result),
             detail.isEmpty() ? zipErrorMessage(result) : detail);
}

// Paths are bytes (fs::nameFromNative); Qt's file classes would ask about other names.
QString absolute(const QString& path)
{
    return fs::absolutePath(path);
}

// Each failed archive and each source kept, on stderr as the batch ends.
void printZipProblems(const BatchReport& report, QTextStream& err)
{
    for (const ItemOutcome& a : report.items) {
        if (a.result == ItemResult::Failed)
            err << "kelmar-cli: " << failure(a.path, a.code, a.reason) << '\n';
        for (const QString& k : keptSources(a))
            err << "kelmar-cli: not deleted: " << k << '\n';
    }
}

// "Wrote N archives, F failed, K not deleted (stopped)" over every group of the run.
void printZipSummary(const BatchReport& all, QTextStream& err)
{
    int written = 0;
    int kept = 0;
    for (const ItemOutcome& a : all.items) {
        written += a.code == ZipOk ? 1 : 0;
        kept += int(keptSources(a).size());
    }
    err << "Wrote " << written << " archive" << (written == 1 ? "" : "s") << ", "
        << all.failedCount() << " failed"
        << (kept > 0 ? QStringLiteral(", %1 not deleted").arg(kept) : QString())
        << (all.end >= BatchEnd::Stopped ? " (stopped)" : "") << '\n';
    err.flush();
}

// Where the archives go: --single, --to, --same-folder.
OptionTable zipTargetOptions(Options& options, QString& single, QString& target, bool& modeGiven)
{
    OptionTable table;
    auto oneArchive = [&options, &modeGiven](bool one) {
        options.radOneZIP = one;
        options.radMultipleZIPs = !one;
        modeGiven = true;
    };
    const QString needsArchive = QStringLiteral("--single needs the archive's name");
    const QString needsFolder = QStringLiteral("--to needs a folder");
    table.insert(
        table.end(),
        {
            cliValue(QStringLiteral("--single"), needsArchive,
                     [=, &single](const QString& v) {
                         if (v.isEmpty())
                             return needsArchive;
                         single = absolute(v);
                         oneArchive(true);
                         return QString();
                     })
                .described(QStringLiteral("OUT.zip"),
                           QStringLiteral("All files into the one archive OUT.zip.")),
            cliValue(QStringLiteral("--to"), needsFolder,
                     [=, &options, &target](const QString& v) {
                         if (v.isEmpty())
                             return needsFolder;
                         if (fs::pathExists(v) && !fs::isFolderPath(v))
                             return QStringLiteral("'%1' is not a folder").arg(fs::displayName(v));
                         target = absolute(v);
                         oneArchive(false);
                         options.chkSaveZIPsinSameFolder = Check::Clear;
                         return QString();
                     })
                .described(QStringLiteral("DIR"),
                           QStringLiteral("One archive per file, written into DIR (created "
                                          "when missing).")),
            cliSwitch({QStringLiteral("--same-folder")},
                      [=, &options] {
                          oneArchive(false);
                          options.chkSaveZIPsinSameFolder = Check::Ticked;
                      })
                .described(QStringLiteral("One archive per file, written beside the file.")),
        });
    return table;
}

// The zip options over the saved ones; single and target take --single and --to.
OptionTable zipOptions(Options& options, QString& single, QString& target, bool& modeGiven)
{
    OptionTable table = zipTargetOptions(options, single, target, modeGiven);
    const QString needsInfoFile = QStringLiteral("--info-file needs an existing file");
    table.insert(
        table.end(),
        {
            cliValue(QStringLiteral("--info-file"), needsInfoFile,
                     [=, &options](const QString& v) {
                         if (!fs::isFilePath(v))
                             return needsInfoFile;
                         options.chkInfoFile = Check::Ticked;
                         // The absolute path: the info file is recognised by it, and never
                         // deleted.
                         options.txtInfoFile = absolute(v);
                         return QString();
                     })
                .described(QStringLiteral("FILE"),
                           QStringLiteral("Add FILE to every archive (it is never deleted).")),
            cliSwitch({QStringLiteral("--no-info-file")},
                      [&options] { options.chkInfoFile = Check::Clear; })
                .described(QStringLiteral("Add no info file even if one is saved.")),
            cliSwitch({QStringLiteral("--original-extensions")},
                      [&options] { options.chkUseOriginalExtensions = Check::Ticked; })
                .described(QStringLiteral("Name per-file archives NAME.EXT.zip, not NAME.zip.")),
            cliSwitch({QStringLiteral("--no-original-extensions")},
                      [&options] { options.chkUseOriginalExtensions = Check::Clear; })
                .described(QStringLiteral("Name per-file archives NAME.zip.")),
            caseOption(QStringLiteral("--case"),
                       QStringLiteral("--case needs lower, upper or original"),
                       &options.cmbFileCase)
                .described(QStringLiteral("lower|upper|original"),
                           QStringLiteral("Case of a per-file archive's name (never its "
                                          "folder).")),
            cliSwitch({QStringLiteral("--delete-originals")},
                      [&options] { options.chkDeleteFiles = Check::Ticked; })
                .described(QStringLiteral(
                    "Delete each source file once the archive holding it is written and "
                    "closed, if it is still the file that was read; a source whose archive "
                    "failed stays.")),
            cliSwitch({QStringLiteral("--keep-originals")},
                      [&options] { options.chkDeleteFiles = Check::Clear; })
                .described(QStringLiteral("Do not delete source files even if that is saved.")),
            cliSwitch({QStringLiteral("--torrentzip")},
                      [&options] { options.chkTorrentZip = Check::Ticked; })
                .described(QStringLiteral(
                    "Write each archive in the TorrentZip layout (sorted names, zlib level 9, "
                    "fixed times, no extra fields, the \"TORRENTZIPPED-\" comment): the same "
                    "files always give the same bytes. Names keep their folders (with "
                    "--keep-paths); level and password do not apply, and a password is "
                    "refused.")),
            cliSwitch({QStringLiteral("--no-torrentzip")},
                      [&options] { options.chkTorrentZip = Check::Clear; })
                .described(QStringLiteral("Do not, even if that is saved.")),
        });
    // After the three that choose where the archives go.
    const OptionTable shared = sharedOptions(options);
    table.insert(table.begin() + 3, shared.begin(), shared.end());
    return table;
}

// The folders-to-zips options over the saved ones.
OptionTable foldersToZipsOptions(Options& options, bool& deleteFolders)
{
    OptionTable table = sharedOptions(options);
    table[3].help = QStringLiteral("Store each file's path inside its folder.");
    table[4].help = QStringLiteral(
        "Store file names only: the files of nested folders are stored under their names "
        "alone (a folder holding two files of one name is then never deleted).");
    table.push_back(
        cliSwitch({QStringLiteral("--delete-folders")}, [&deleteFolders] { deleteFolders = true; })
            .described(QStringLiteral(
                "Delete each sub-folder afterwards, but only when its archive was written and "
                "lists every file of the folder at its size; a folder that cannot go stays, "
                "and is named.")));
    return table;
}

HelpItem stoppedBeforeEnd()
{
    return {QStringLiteral("3"), QStringLiteral("stopped (Ctrl+C, SIGTERM, SIGHUP) before the "
                                                "end, with no archive failed")};
}

} // namespace

CommandHelp zipHelp()
{
    static Options options;
    static QString single;
    static QString target;
    static bool modeGiven = false;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Zip files: one archive per file (named after the file, in a folder given with --to or "
        "beside the file with --same-folder), or all into one archive (--single). An archive "
        "that exists already is added to; no entry in it is replaced: a file whose name is "
        "taken (in any case) fails its per-file archive, or with --single is stored under a "
        "free name (\"a (2).rom\"). Names are taken as they are (\"*\" is no wildcard). Logs "
        "\"Individually Zipping the Following Files to DIR/\" and each file, or \"Zipping "
        "files: FILE...\" and \" to ARCHIVE\". Ctrl+C stops a per-file run after the archive "
        "in hand; with --single it stops the archive being written, which is then left as it "
        "was.");
    help.before = {{QStringLiteral("Arguments of zip:"),
                    {{QStringLiteral("PATH"),
                      QStringLiteral("A file, or a folder meaning every file in it (not hidden "
                                     "files, not subfolders).")}},
                    QString()}};
    help.optionsHeading = QStringLiteral("Options of zip (defaults from the saved \"ZIP "
                                         "Settings\"):");
    static RunFlags flags;
    help.options = withRunOptions(zipOptions(options, single, target, modeGiven), flags,
                                  PathKind::Folders);
    help.after = {exitStatus("zip",
                             {{QStringLiteral("0"), QStringLiteral("every archive was written")},
                              {QStringLiteral("1"), QStringLiteral("at least one archive failed")},
                              {QStringLiteral("2"), QStringLiteral("usage error")},
                              stoppedBeforeEnd()})};
    return help;
}

CommandHelp foldersToZipsHelp()
{
    static Options options;
    static bool deleteFolders = false;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Turn every sub-folder X of DIR into the archive X.zip beside it, with all of X's "
        "content (hidden files too; links inside are not followed and not stored). Hidden "
        "sub-folders and links to folders are skipped. Prints \"X -> X.zip\" per folder.");
    help.before = {{QStringLiteral("Arguments of folders-to-zips:"),
                    {{QStringLiteral("DIR"),
                      QStringLiteral("The folder whose sub-folders are zipped.")}},
                    QString()}};
    help.optionsHeading = QStringLiteral("Options of folders-to-zips:");
    static RunFlags flags;
    help.options = withRunOptions(foldersToZipsOptions(options, deleteFolders), flags,
                                  PathKind::Named);
    help.after = {exitStatus(
        "folders-to-zips",
        {{QStringLiteral("0"), QStringLiteral("every archive was written (and, with "
                                              "--delete-folders, every folder deleted)")},
         {QStringLiteral("1"), QStringLiteral("at least one archive failed, or a source or "
                                              "folder to delete was kept")},
         {QStringLiteral("2"), QStringLiteral("usage error")},
         stoppedBeforeEnd()})};
    return help;
}

int runZip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    Options options = context.saved;
    QString single;
    QString target;
    bool modeGiven = false;
    RunFlags flags;
    QStringList paths;
    const OptionTable table = zipOptions(options, single, target, modeGiven);
    if (!parseCommand(args, "zip", table, flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    if (paths.isEmpty())
        return usage(err, QStringLiteral("zip needs at least one file or folder"));
    if (options.radOneZIP && single.isEmpty())
        return usage(err, QStringLiteral("the saved settings zip into one archive: name it "
                                         "with --single OUT.zip (or use --to or --same-folder)"));
    if (!modeGiven && !options.radOneZIP && !Options::isSet(options.chkSaveZIPsinSameFolder))
        return usage(err, QStringLiteral("zip needs --to DIR, --same-folder or --single OUT.zip"));
    if (Options::isSet(options.chkTorrentZip) && !options.zipPassword().isEmpty())
        return usage(err, torrentZipPasswordNotice());
    // The saved info file counts only when it is there, as in the window.
    if (Options::isSet(options.chkInfoFile) && !options.txtInfoFile.isEmpty())
        options.txtInfoFile = absolute(options.txtInfoFile);

    std::vector<Group> groups;
    int missing = 0;
    if (!groupPaths(paths, folderLister(flags, filesIn, nullptr, &missing, err), nullptr,
                    QString(), groups, &missing, err))
        return kExitUsage;
    // Made only once the arguments are known to be good.
    if (!target.isEmpty() && !fs::makeFolders(target))
        return usage(err,
                     QStringLiteral("cannot create the folder '%1'").arg(fs::displayName(target)));

    ZipRequest request = zipRequestFrom(options);
    request.archive = single;
    request.targetFolder = Options::isSet(options.chkSaveZIPsinSameFolder) ? QString() : target;
    request.workers = context.jobs;
    installInterruptHandler();
    ProgressHost host(out, err);
    RunOutput output(flags, SummaryOf{BatchKind::Zip, request.deleteSources}, out, err);
    output.failuresPrinted();
    host.setEchoLog(output.echoLog());
    ZipComponent zip;
    BatchReport& all = output.all();
    if (!forEachFolder(groups, "files to zip", err, [&](const BatchFiles& files) {
            request.files = files;
            const BatchReport report = zip_files(request, host, host, zip);
            // No to an unexpected error ends the whole run.
            if (report.end == BatchEnd::EndProgram)
                host.endRun();
            printZipProblems(report, err);
            output.add(report);
        }))
        all.end = std::max(all.end, BatchEnd::Stopped);
    output.finish();
    if (!flags.quiet)
        printZipSummary(all, err);
    // A path that did not exist counts as a failure.
    return missing > 0 ? kExitBad : all.exitStatus();
}

int runFoldersToZips(const QStringList& args, const Context& context, QTextStream& out,
                     QTextStream& err)
{
    Options options = context.saved;
    bool deleteFolders = false;
    RunFlags flags;
    QStringList paths;
    const OptionTable table = foldersToZipsOptions(options, deleteFolders);
    if (!parseCommand(args, "folders-to-zips", table, flags, PathKind::Named, &paths, err))
        return kExitUsage;
    if (paths.size() != 1)
        return usage(err, QStringLiteral("folders-to-zips needs one folder"));
    if (!fs::pathExists(paths.front())) {
        err << "kelmar-cli: '" << fs::displayName(paths.front()) << "' does not exist\n";
        err.flush();
        return kExitBad;
    }
    if (!fs::isFolderPath(paths.front()))
        return usage(err,
                     QStringLiteral("'%1' is not a folder").arg(fs::displayName(paths.front())));

    installInterruptHandler();
    ProgressHost host(out, err);
    FoldersToZipsRequest request = foldersToZipsRequestFrom(options);
    request.folder = absolute(paths.front());
    request.deleteFolders = deleteFolders;
    request.workers = context.jobs;
    if (subFoldersToZip(request.folder).isEmpty()) {
        host.messageBox(noSubFoldersNotice(), QStringLiteral("Whoops!"), MsgIcon::Information,
                        MsgButtons::Ok);
        return kExitGood;
    }
    // The window's question shows as a message; --delete-folders is the answer.
    host.messageBox(deleteFoldersQuestion(request.folder), foldersToZipsTitle(), MsgIcon::Question,
                    MsgButtons::YesNoCancel, Question::DeleteZippedFolders);
    RunOutput output(flags, SummaryOf{BatchKind::FoldersToZips, deleteFolders}, out, err);
    host.setEchoLog(output.echoLog());
    ZipComponent zip;
    const BatchReport report = convert_sub_folders_to_zips(request, host, host, zip);
    output.add(report);
    for (const ItemOutcome& f : report.items) {
        if (!output.echoLog())
            break;
        if (f.result == ItemResult::Failed) {
            out << failure(f.path, f.code, f.reason) << '\n';
            continue;
        }
        out << f.path << " -> " << f.target;
        if (f.result == ItemResult::Kept)
            out << " (folder kept: " << f.reason << ')';
        else if (deleteFolders)
            out << " (folder deleted)";
        out << '\n';
        for (const QString& note : f.notes)
            out << "  (" << note << ")\n";
    }
    output.finish();
    return report.exitStatus();
}

} // namespace kelmar::cli
