// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli unzip, space and delete.
#include "archive/ZipComponent.h"
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "maintenance/CalculateSpace.h"
#include "maintenance/DeleteFiles.h"
#include "maintenance/UnzipFiles.h"

#include <cstdio>
#include <unistd.h>

namespace kelmar::cli {


namespace {

QStringList noFolderListing(const QString&)
{
    return {};
}

// The closing line's numbers over the reports of every folder.
struct UnzipTally
{
    int failed = 0;
    int extracted = 0;
    int deleted = 0;
    int notDeleted = 0;
    int renamed = 0;
    bool stopped = false;

    void add(const BatchReport& report, bool deleting)
    {
        for (const ItemOutcome& item : report.items) {
            const bool interrupted = item.code == ZipAborted;
            failed += item.result == ItemResult::Failed ? 1 : 0;
            extracted += item.code == ZipOk ? 1 : 0;
            deleted += deleting && item.result == ItemResult::Done ? 1 : 0;
            notDeleted += item.result == ItemResult::Kept ? 1 : 0;
            renamed += int(item.notes.size());
            stopped = stopped || interrupted;
        }
        stopped = stopped || report.end == BatchEnd::Stopped;
    }
};

} // namespace

namespace {

// The unzip tab's switches from the flags (those not given are off) and the destination.
OptionTable unzipOptions(Options& options, QString& to, bool& sameFolder)
{
    CliOption rename = caseOption(QStringLiteral("--rename"),
                                  QStringLiteral("--rename takes lower, upper or original"),
                                  &options.cmbUnzipCase);
    rename.apply = [toCase = rename.apply, &options](const QString& v) {
        options.chkRenameFiles = Check::Ticked;
        return toCase(v);
    };
    const QString needsFolder = QStringLiteral("--to needs a folder");
    return {
        cliValue(QStringLiteral("--to"), needsFolder,
                 [&to, needsFolder](const QString& v) {
                     to = v;
                     return v.isEmpty() ? needsFolder : QString();
                 })
            .described(QStringLiteral("DIR"),
                       QStringLiteral("Extract into DIR (created when missing).")),
        cliSwitch({QStringLiteral("--same-folder")}, [&sameFolder] { sameFolder = true; })
            .described(QStringLiteral("Extract beside each archive. One of the two is required.")),
        cliSwitch({QStringLiteral("--folders")},
                  [&options] { options.chkZIPsToFolders = Check::Ticked; })
            .described(QStringLiteral("One sub-folder per archive, named after it.")),
        cliSwitch({QStringLiteral("--roms-only")},
                  [&options] { options.chkExtractROMs = Check::Ticked; })
            .described(QStringLiteral("Only entries matching the saved ROM filter (all entries "
                                      "when the filter is empty).")),
        cliValue(QStringLiteral("--rom-filter"), QStringLiteral("--rom-filter needs a value"),
                 [&options](const QString& v) {
                     options.chkExtractROMs = Check::Ticked;
                     options.lblROMFilter = v;
                     return QString();
                 })
            .described(QStringLiteral("F"), QStringLiteral("Use F (\"*.nes;*.sfc\") as the ROM "
                                                           "filter; implies --roms-only.")),
        cliSwitch({QStringLiteral("--ignore-folders")},
                  [&options] { options.chkIgnoreFolders = Check::Ticked; })
            .described(QStringLiteral("Drop the folder names stored in the archives.")),
        unzipPasswordOption(QStringLiteral("--password"), options, true)
            .described(QStringLiteral("P"),
                       QStringLiteral("Decrypt with P (the saved unzip password is used when "
                                      "this is not given).")),
        cliSwitch({QStringLiteral("--no-password")},
                  [&options] { options.chkUnzipPassword = Check::Clear; })
            .described(QStringLiteral("Use no password even if one is saved.")),
        cliSwitch({QStringLiteral("--delete-archives")},
                  [&options] { options.chkDeleteZIPFiles = Check::Ticked; })
            .described(QStringLiteral("Delete each archive extracted without error.")),
        rename.described(QStringLiteral("lower|upper|original"),
                         QStringLiteral("Once all are extracted, rename each extracted file to "
                                        "its archive's name plus its own extension, in that "
                                        "case; the first file to claim a name wins, nothing is "
                                        "replaced.")),
    };
}

OptionTable deleteOptions(bool& yes)
{
    return {cliSwitch({QStringLiteral("--yes"), QStringLiteral("-y")}, [&yes] { yes = true; })
                .described(QStringLiteral("Delete without asking. Without it, delete asks on a "
                                          "terminal and refuses otherwise."))};
}

} // namespace

// The unzip tab's switches from the flags (those not given are off), the destination, the
// run's options and the paths; false after a usage error, which err has.
bool parseUnzipFlags(const QStringList& args, Options& options, QString& to, bool& sameFolder,
                     RunFlags& flags, QStringList& paths, QTextStream& err)
{
    return parseCommand(args, "unzip", unzipOptions(options, to, sameFolder), flags,
                        PathKind::Folders, &paths, err);
}

CommandHelp unzipHelp()
{
    static Options options;
    static QString to;
    static bool sameFolder = false;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Extract zip archives by the rules of the window's unzip tab. Logs \"Unzipped PATH\" "
        "or \"Error unzipping PATH\" (with the reason on the next line) per archive, and "
        "\"Deleted PATH\" for each archive deleted.");
    help.before = {archiveArguments("unzip")};
    help.optionsHeading = QStringLiteral(
        "Options of unzip (switches not given are off: the check boxes of the saved unzip tab "
        "are not read, so a script does the same on every machine; the saved ROM filter and "
        "unzip password are):");
    static RunFlags flags;
    help.options = withRunOptions(unzipOptions(options, to, sameFolder), flags, PathKind::Folders);
    help.afterOptions = QStringLiteral(
        "Before each archive its uncompressed size is checked against the free space of the "
        "destination; an archive that does not fit fails without writing anything. Ctrl+C "
        "stops the archive in hand (no partly written file is left).");
    help.after = {exitStatus("unzip",
                             {{QStringLiteral("0"), QStringLiteral("every archive was extracted")},
                              {QStringLiteral("1"), QStringLiteral("at least one archive failed")},
                              {QStringLiteral("2"), QStringLiteral("usage error")},
                              stoppedStatus()})};
    return help;
}

CommandHelp spaceHelp()
{
    CommandHelp help;
    help.summary = QStringLiteral("Total the uncompressed sizes of the archives' entries: "
                                  "\"1,234,567 unzipped bytes in 3 files\".");
    help.before = {archiveArguments("space")};
    static RunFlags flags;
    help.optionsHeading = QStringLiteral("Options of space:");
    help.options = withRunOptions({}, flags, PathKind::Folders);
    help.after = {
        exitStatus("space",
                   {{QStringLiteral("0"), QStringLiteral("every archive was listed")},
                    {QStringLiteral("1"), QStringLiteral("at least one archive could not be "
                                                         "listed")},
                    {QStringLiteral("2"), QStringLiteral("usage error")}})};
    return help;
}

CommandHelp deleteHelp()
{
    static bool yes = false;
    CommandHelp help;
    help.summary = QStringLiteral("Delete files, read-only ones included; logs \"Deleted "
                                  "PATH\" per file.");
    help.before = {{QStringLiteral("Arguments of delete:"),
                    {{QStringLiteral("PATH"),
                      QStringLiteral("A file to delete (folders are refused; a link is removed, "
                                     "never what it points to; hidden files are left alone, as "
                                     "in the window).")}},
                    QString()}};
    help.optionsHeading = QStringLiteral("Options of delete:");
    static RunFlags flags;
    help.options = withRunOptions(deleteOptions(yes), flags, PathKind::Named);
    help.after = {exitStatus("delete",
                             {{QStringLiteral("0"), QStringLiteral("every file was deleted")},
                              {QStringLiteral("1"), QStringLiteral("a file could not be deleted")},
                              {QStringLiteral("2"), QStringLiteral("usage error")}})};
    return help;
}

int runUnzip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    Options options = context.saved;
    options.chkUnziptoSameFolder = Check::Clear;
    options.chkZIPsToFolders = Check::Clear;
    options.chkExtractROMs = Check::Clear;
    options.chkIgnoreFolders = Check::Clear;
    options.chkDeleteZIPFiles = Check::Clear;
    options.chkRenameFiles = Check::Clear;
    options.chkSound = Check::Clear;
    QString to;
    bool sameFolder = false;
    RunFlags flags;
    QStringList paths;
    if (!parseUnzipFlags(args, options, to, sameFolder, flags, paths, err))
        return kExitUsage;
    if (to.isEmpty() == !sameFolder)
        return usage(err, QStringLiteral("unzip needs either --to DIR or --same-folder"));
    options.chkUnziptoSameFolder = sameFolder ? Check::Ticked : Check::Clear;
    if (!to.isEmpty() && fs::pathExists(to) && !fs::isFolderPath(to))
        return usage(err, QStringLiteral("'%1' is not a folder").arg(fs::displayName(to)));
    std::vector<Group> groups;
    int total = 0;
    int missing = 0;
    if (!archiveGroups(paths, "unzip", flags, groups, &total, &missing, err))
        return kExitUsage;
    // Made only once the arguments are known to be good.
    if (!to.isEmpty()) {
        // Through the name codec: Qt's file classes would make a folder of another name.
        to = fs::absolutePath(to);
        if (!fs::makeFolders(to))
            return usage(err,
                         QStringLiteral("cannot create the folder '%1'").arg(fs::displayName(to)));
    }
    ProgressLine progress(err, total);
    installInterruptHandler();
    RunOutput output(flags, SummaryOf{BatchKind::Unzip, Options::isSet(options.chkDeleteZIPFiles)},
                     out, err);
    CliHost host(interruptFlag(), out, err, output.echoLog());
    UnzipHooks hooks;
    hooks.onArchive = [&](int, int, const QString& path) { progress.step(path); };
    UnzipTally tally;
    if (!forEachFolder(groups, ".zip files", err, [&](const BatchFiles& files) {
            UnzipRequest request = unzipRequestFromOptions(options, files);
            request.destination = to;
            request.workers = context.jobs;
            const BatchReport report = unzip_files(request, host, host, hooks);
            tally.add(report, request.deleteArchives);
            output.add(report);
        }))
        tally.stopped = true;
    progress.clear();
    if (tally.stopped)
        output.all().end = std::max(output.all().end, BatchEnd::Stopped);
    output.finish();
    if (!flags.quiet) {
        err << "Unzipped " << tally.extracted << " of " << total << " archives, " << tally.failed
            << " failed";
        if (tally.deleted > 0)
            err << ", " << tally.deleted << " deleted";
        if (tally.notDeleted > 0)
            err << ", " << tally.notDeleted << " not deleted";
        if (tally.renamed > 0)
            err << ", " << tally.renamed << " files renamed";
        err << (tally.stopped ? " (stopped)" : "") << '\n';
        err.flush();
    }
    // An archive that was to be deleted and stays is kept for a reason the log gives (another
    // program changed it, say): a script must not take the run for a clean one.
    return batchExitStatus(tally.failed + tally.notDeleted + missing, tally.stopped);
}

int runSpace(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "space", {}, flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    std::vector<Group> groups;
    int total = 0;
    int missing = 0;
    if (!archiveGroups(paths, "space", flags, groups, &total, &missing, err))
        return kExitUsage;

    installInterruptHandler();
    // The batch's own message box says each folder's total; the command says one for all.
    QString swallowed;
    QTextStream quiet(&swallowed);
    RunOutput output(flags, SummaryOf{BatchKind::Space}, out, err);
    CliHost host(interruptFlag(), out, quiet, output.echoLog());
    for (const Group& g : groups) {
        if (interruptFlag().load())
            break;
        output.add(calculate_space(SpaceRequest{{g.folder, g.names}, context.jobs}, host, host));
    }
    const BatchReport& all = output.all();
    const quint64 bytes = all.bytes;
    const int archives = int(all.items.size());
    const int unreadable = all.failedCount();
    if (archives == 0) {
        err << "kelmar-cli: no .zip files to calculate\n";
        err.flush();
        return kExitBad;
    }
    if (!flags.json && !flags.quiet)
        out << spaceMessage(bytes, archives) << '\n';
    output.finish();
    return unreadable + missing > 0 ? kExitBad : kExitGood;
}

int runDelete(const QStringList& args, const Context&, QTextStream& out, QTextStream& err)
{
    bool yes = false;
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "delete", deleteOptions(yes), flags, PathKind::Named, &paths, err))
        return kExitUsage;
    if (paths.isEmpty())
        return usage(err, QStringLiteral("delete needs at least one file"));
    for (const QString& p : paths) {
        // A folder is never emptied from here: its files are named one by one.
        if (fs::isFolderPath(p))
            return usage(err, QStringLiteral("'%1' is a folder; name the files to delete")
                                  .arg(fs::displayName(p)));
    }
    std::vector<Group> groups;
    int missing = 0;
    if (!groupPaths(paths, noFolderListing, nullptr, QString(), groups, &missing, err))
        return kExitUsage;

    if (!yes) {
        if (::isatty(STDIN_FILENO) == 0)
            return usage(err, QStringLiteral("delete asks before deleting; give --yes when "
                                             "not run from a terminal"));
        err << deleteQuestion() << " [y/N] ";
        err.flush();
        char line[64] = {};
        if (!std::fgets(line, sizeof line, stdin) || (line[0] != 'y' && line[0] != 'Y'))
            return kExitGood;
    }
    QString swallowed;
    QTextStream quiet(&swallowed);
    RunOutput output(flags, SummaryOf{BatchKind::Delete}, out, err);
    CliHost host(interruptFlag(), out, quiet, output.echoLog());
    // The terminal's question (or --yes) stood for the window's confirmation.
    for (const Group& g : groups)
        output.add(delete_files(DeleteRequest{{g.folder, g.names}}, host, host));
    output.finish();
    return output.all().failedCount() + missing > 0 ? kExitBad : kExitGood;
}

} // namespace kelmar::cli
