// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli rezip, remove-non-roms and attributes: the operations that rebuild archives.
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "cli/ProgressLine.h"
#include "maintenance/ChangeAttributes.h"
#include "maintenance/RemoveNonRoms.h"
#include "maintenance/RezipFiles.h"

#include <cstdio>
#include <unistd.h>

namespace kelmar::cli {


namespace {

// The options the three commands share, applied over the saved options.
OptionTable sharedOptions(Options& options)
{
    return {
        levelOption(options).described(
            QStringLiteral("N"), QStringLiteral("0 (store) to 9 (the saved level when not given).")),
        unzipPasswordOption(QStringLiteral("--unzip-password"), options, false)
            .described(QStringLiteral("PW"),
                       QStringLiteral("Decrypt the old archives with PW (the saved unzip "
                                      "password is used when this is not given).")),
    };
}

OptionTable rezipOptions(Options& options)
{
    OptionTable table = sharedOptions(options);
    table.insert(table.begin() + 1,
                 {zipPasswordOption(options).described(
                      QStringLiteral("PW"),
                      QStringLiteral("Encrypt the new archives with AES-256 and PW.")),
                  cliSwitch({QStringLiteral("--no-password")},
                            [&options] { options.chkZIPPassword = Check::Clear; })
                      .described(QStringLiteral("Do not encrypt, even if a zip password is "
                                                "saved."))});
    table.push_back(cliSwitch({QStringLiteral("--torrentzip")},
                              [&options] { options.chkTorrentZip = Check::Ticked; })
                        .described(QStringLiteral(
                            "Write each archive in the TorrentZip layout (sorted names, zlib "
                            "level 9, fixed times, no extra fields, the \"TORRENTZIPPED-\" "
                            "comment) from the same entries: the same files always give the "
                            "same bytes. An archive already exactly so is left as it is "
                            "(\"PATH: already TorrentZip\"). --level does not apply; a "
                            "password is refused.")));
    table.push_back(cliSwitch({QStringLiteral("--no-torrentzip")},
                              [&options] { options.chkTorrentZip = Check::Clear; })
                        .described(QStringLiteral("Do not, even if that is saved.")));
    return table;
}

OptionTable removeNonRomsOptions(Options& options, bool& yes)
{
    return {
        cliValue(QStringLiteral("--rom-filter"), QStringLiteral("--rom-filter needs a value"),
                 [&options](const QString& v) {
                     options.lblROMFilter = v;
                     return QString();
                 })
            .described(QStringLiteral("F"),
                       QStringLiteral("Use F (\"*.nes;*.sfc\") as the ROM filter instead of "
                                      "the saved one. An empty filter is refused.")),
        cliSwitch({QStringLiteral("--yes"), QStringLiteral("-y")}, [&yes] { yes = true; })
            .described(QStringLiteral("Remove without asking. Without it, remove-non-roms asks "
                                      "on a terminal and refuses otherwise.")),
    };
}

OptionTable attributesOptions(Options& options, int& chosen)
{
    OptionTable table = sharedOptions(options);
    const auto attribute = [&chosen](const char* name, int bit, const char* text) {
        return cliSwitch({QLatin1String(name)}, [&chosen, bit] { chosen |= bit; })
            .described(QLatin1String(text));
    };
    table.insert(table.begin(),
                 {attribute("--read-only", AttrReadOnly,
                            "Read-only: the DOS bit, and no write permission in the Unix mode."),
                  attribute("--hidden", AttrHidden, "Hidden: the DOS bit."),
                  attribute("--archive", AttrArchive, "Archive: the DOS bit.")});
    return table;
}

// The exit status of the three rebuilding commands; done says what 0 means.
HelpSection rebuildExitStatus(const char* command, const char* done)
{
    return exitStatus(command, {{QStringLiteral("0"), QLatin1String(done)},
                                {QStringLiteral("1"),
                                 QStringLiteral("at least one archive could not be rebuilt, or "
                                                "a PATH does not exist")},
                                {QStringLiteral("2"), QStringLiteral("usage error")},
                                stoppedStatus()});
}

using RebuildBatch = BatchReport (*)(const RebuildRequest&, ProgressSink&, BatchQuestions&,
                                      const RebuildTaken&);

// The request the options and flags make, for the files of one folder.
RebuildRequest requestOf(const Options& options, int attributes, const BatchFiles& files)
{
    RebuildRequest request;
    request.files = files;
    request.level = options.sliCompression;
    request.readPassword = options.unzipPassword();
    request.writePassword = options.zipPassword();
    request.romFilter = options.lblROMFilter;
    request.attributes = attributes;
    request.torrentZip = Options::isSet(options.chkTorrentZip);
    return request;
}

// Runs batch over every group and sums up; the summary goes to stderr.
int runOverGroups(const char* command, const QStringList& paths, const RunFlags& flags,
                  SummaryOf summary, const Options& options, int jobs, QTextStream& out,
                  QTextStream& err, const char* verb, RebuildBatch batch, int attributes = 0)
{
    std::vector<Group> groups;
    int total = 0;
    int missing = 0;
    if (!archiveGroups(paths, command, flags, groups, &total, &missing, err))
        return kExitUsage;
    ProgressLine progress(err, total);
    installInterruptHandler();
    // The batches' own message boxes (nothing selected) are not for a script's stderr.
    QString swallowed;
    QTextStream quiet(&swallowed);
    RunOutput output(flags, summary, out, err);
    CliHost host(interruptFlag(), out, quiet, output.echoLog());
    BatchReport& all = output.all();
    if (!forEachFolder(groups, ".zip files", err, [&](const BatchFiles& files) {
            // Each folder is a batch of its own.
            RebuildRequest request = requestOf(options, attributes, files);
            request.workers = jobs;
            output.add(batch(request, host, host,
                             [&](int, int, const QString& path) { progress.step(path); }));
        }))
        all.end = BatchEnd::Stopped;
    progress.clear();
    output.finish();
    const int failed = all.failedCount();
    // An archive given up by a Stop (in the middle of a disc image) was not done.
    const int done = int(all.items.size()) - failed - all.count(ItemResult::Skipped);
    // -q: the summary line and the errors say enough.
    if (!flags.quiet) {
        err << verb << ' ' << done << " of " << total << " archives, " << failed << " failed"
            << (all.stopped() ? " (stopped)" : "") << '\n';
        err.flush();
    }
    return batchExitStatus(failed + missing, all.stopped());
}

} // namespace

CommandHelp rezipHelp()
{
    static Options options;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Rebuild zip archives at a new compression level, from their files at the top level "
        "(stored folder names are dropped), decrypting with the saved unzip password and "
        "encrypting with the zip password (AES-256). Logs \"Error when rezipping PATH\" (the "
        "reason on the next line) for an archive that cannot be rebuilt; it stays as it was.");
    help.before = {{QString(),
                    {},
                    QStringLiteral("Each archive is rebuilt beside itself under a hidden "
                                   "temporary name, read back in full, and only then renamed "
                                   "over the old one: a failure (a full disk, a damaged entry, "
                                   "two entries that would get one name) leaves the archive "
                                   "untouched. Entries keep their modification times.")},
                   archiveArguments("rezip")};
    help.optionsHeading = QStringLiteral("Options of rezip:");
    static RunFlags flags;
    help.options = withRunOptions(rezipOptions(options), flags, PathKind::Folders);
    help.after = {rebuildExitStatus("rezip", "every archive was rebuilt")};
    return help;
}

CommandHelp removeNonRomsHelp()
{
    static Options options;
    static bool yes = false;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Remove from zip archives every entry that the ROM filter does not mark as a ROM; the "
        "entries kept are copied as they are, never recompressed. Logs \"Removed N entries "
        "from PATH\" per archive. An archive left without entries stays as an empty archive. "
        "Each archive is rebuilt as rezip does: a failure leaves it untouched. With an empty "
        "ROM filter it refuses to start (exit status 2).");
    help.before = {archiveArguments("remove-non-roms")};
    help.optionsHeading = QStringLiteral("Options of remove-non-roms:");
    static RunFlags flags;
    help.options = withRunOptions(removeNonRomsOptions(options, yes), flags, PathKind::Folders);
    HelpSection status = rebuildExitStatus("remove-non-roms",
                                           "every archive was rebuilt (or had nothing to change)");
    status.items[2].text = QStringLiteral("usage error, or the ROM filter is empty");
    help.after = {status};
    return help;
}

CommandHelp attributesHelp()
{
    static Options options;
    static int chosen = 0;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Give every file inside zip archives the chosen attributes, stored in the archive (the "
        "DOS bits, and no write permission in the Unix mode when read-only). The archives are "
        "rebuilt as rezip does, at the saved level, without a password: a failure leaves an "
        "archive untouched. Logs \"Error changing attributes in PATH\".");
    help.before = {archiveArguments("attributes")};
    help.optionsHeading = QStringLiteral("Options of attributes (attributes not given are "
                                         "cleared):");
    static RunFlags flags;
    help.options = withRunOptions(attributesOptions(options, chosen), flags, PathKind::Folders);
    help.after = {rebuildExitStatus("attributes", "every archive was rebuilt")};
    return help;
}

int runRezip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    Options options = context.saved;
    options.chkSound = Check::Clear;
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "rezip", rezipOptions(options), flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    if (Options::isSet(options.chkTorrentZip) && !options.zipPassword().isEmpty())
        return usage(err, torrentZipPasswordNotice());
    return runOverGroups("rezip", paths, flags, {BatchKind::Rezip}, options, context.jobs, out,
                         err, "Rezipped", rezip_files);
}

int runRemoveNonRoms(const QStringList& args, const Context& context, QTextStream& out,
                     QTextStream& err)
{
    Options options = context.saved;
    options.chkSound = Check::Clear;
    bool yes = false;
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "remove-non-roms", removeNonRomsOptions(options, yes), flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    if (romFilterIsEmpty(options.lblROMFilter))
        return usage(err, QStringLiteral("the ROM filter is empty, so every entry would be "
                                         "removed: give the ROMs' extensions with --rom-filter "
                                         "'*.nes;*.sfc' (or save a ROM filter in the window)"));
    if (!yes && !paths.isEmpty()) {
        if (::isatty(STDIN_FILENO) == 0)
            return usage(err, QStringLiteral("remove-non-roms asks before removing; give --yes "
                                             "when not run from a terminal"));
        QString question = removeNonRomsQuestion(options.lblROMFilter);
        question.replace(u'\r', u'\n');
        err << question << " [y/N] ";
        err.flush();
        char line[64] = {};
        if (!std::fgets(line, sizeof line, stdin) || (line[0] != 'y' && line[0] != 'Y'))
            return kExitGood;
    }
    // The terminal's question (or --yes) stood for the window's confirmation.
    return runOverGroups("remove-non-roms", paths, flags, {BatchKind::RemoveNonRoms}, options,
                         context.jobs, out, err, "Stripped", remove_non_roms_from_zips);
}

int runAttributes(const QStringList& args, const Context& context, QTextStream& out,
                  QTextStream& err)
{
    Options options = context.saved;
    options.chkSound = Check::Clear;
    int chosen = 0;
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "attributes", attributesOptions(options, chosen), flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    return runOverGroups("attributes", paths, flags, {BatchKind::Attributes}, options,
                         context.jobs, out, err, "Updated", change_attributes, chosen);
}

} // namespace kelmar::cli
