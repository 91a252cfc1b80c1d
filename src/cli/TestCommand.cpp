// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli test: the window's Test Zips over archives named on the command line.
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "fs/NativeName.h"
#include "maintenance/TestZips.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kelmar::cli {



namespace {

// {"archives":[...],"good","bad","notTested","stopped"} on out.
void printJson(const BatchReport& all, QTextStream& out)
{
    QJsonArray list;
    for (const ItemOutcome& a : all.items) {
        QJsonObject o;
        o.insert(QStringLiteral("path"), fs::displayName(a.path));
        o.insert(QStringLiteral("verdict"), testVerdictName(a.result));
        o.insert(QStringLiteral("code"), a.code);
        o.insert(QStringLiteral("reason"), fs::displayName(a.reason));
        o.insert(QStringLiteral("renamedTo"), fs::displayName(a.target));
        o.insert(QStringLiteral("torrentzip"), a.torrentZip.value_or(false));
        list.append(o);
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("archives"), list);
    doc.insert(QStringLiteral("good"), all.count(ItemResult::Done));
    doc.insert(QStringLiteral("bad"), all.count(ItemResult::Failed));
    doc.insert(QStringLiteral("notTested"), all.count(ItemResult::NotJudged));
    doc.insert(QStringLiteral("stopped"), all.stopped());
    out << QJsonDocument(doc).toJson(QJsonDocument::Indented);
    out.flush();
}

// test's options, over the saved ones.
OptionTable testOptions(Options& options, bool& reportOnly)
{
    return {
        cliSwitch({QStringLiteral("--torrentzip")},
                  [&options] { options.chkCheckTorrentZip = Check::Ticked; })
            .described(QStringLiteral(
                "Also log \"NAME is not TorrentZip\" for each archive that is not.")),
        cliSwitch({QStringLiteral("--report-only")}, [&reportOnly] { reportOnly = true; })
            .described(QStringLiteral("Judge the archives and rename nothing: a bad archive "
                                      "keeps its name. The window's saved \"Test only, do not "
                                      "rename\" does the same.")),
        unzipPasswordOption(QStringLiteral("--password"), options, true)
            .described(QStringLiteral("PW"),
                       QStringLiteral("Decrypt with PW (overrides the saved unzip password).")),
        cliSwitch({QStringLiteral("--no-password")},
                  [&options] { options.chkUnzipPassword = Check::Clear; })
            .described(QStringLiteral("Use no password even if one is saved.")),
    };
}

const char* const kTestJson =
    R"(Print one JSON document on stdout instead of the log lines: {"archives": [{"path", "verdict": "good"|"bad"|"not-tested", "code", "reason", "renamedTo", "torrentzip": true|false}...], "good": n, "bad": n, "notTested": n, "stopped": true|false} ("torrentzip": whether the archive holds the TorrentZip layout, its comment naming its directory's CRC).)";

} // namespace

CommandHelp testHelp()
{
    static Options options;
    static bool reportOnly = false;
    static RunFlags flags;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Test zip archives: read every entry in full and check its CRC (and AES authentication) "
        "and the archive's structure. A damaged archive is logged as \"NAME is bad!\" with a "
        "second line giving the reason, and renamed to NAME.bad (unless that name exists). An "
        "archive that cannot be judged here (encrypted without the right password, or "
        "compressed with a method this build cannot read, such as PPMd) is logged as \"NAME "
        "could not be tested (reason)\" and keeps its name.");
    help.before = {archiveArguments("test")};
    help.optionsHeading = QStringLiteral("Options of test:");
    help.options = withRunOptions(testOptions(options, reportOnly), flags, PathKind::Folders,
                                  QLatin1String(kTestJson));
    help.after = {
        {QStringLiteral("Result codes of the archive component (shown in reasons and in "
                        "\"code\"):"),
         {},
         QStringLiteral("0 ok, 1 file not found, 2 not a zip archive, 3 damaged data or CRC "
                        "error, 4 wrong or missing password, 5 unsupported method, 6 read error, "
                        "7 write error, 8 disk full, 9 unsafe entry refused, 10 archive would be "
                        "left empty, 11 cannot open, 12 entry name taken, 13 a different file "
                        "of that name exists, 190 stopped.")},
        exitStatus("test",
                   {{QStringLiteral("0"), QStringLiteral("every archive tested is good")},
                    {QStringLiteral("1"),
                     QStringLiteral("at least one archive is bad, or a PATH does not exist "
                                    "(the others are tested all the same)")},
                    {QStringLiteral("2"), QStringLiteral("usage error (unknown option, no "
                                                         "PATH, a file not named .zip)")},
                    {QStringLiteral("3"), QStringLiteral("none is bad, but some could not be "
                                                         "tested (or the run was stopped)")}}),
    };
    return help;
}

int runTest(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    Options options = context.saved;
    bool reportOnly = false;
    RunFlags flags;
    QStringList paths;
    if (!parseCommand(args, "test", testOptions(options, reportOnly), flags, PathKind::Folders,
                      &paths, err))
        return kExitUsage;
    // One group per folder, in the order the arguments name them.
    std::vector<Group> groups;
    int total = 0;
    int missing = 0;
    if (!archiveGroups(paths, "test", flags, groups, &total, &missing, err))
        return kExitUsage;

    ProgressLine progress(err, total);
    installInterruptHandler();
    RunOutput output(flags, SummaryOf{BatchKind::Test}, out, err);
    CliHost host(interruptFlag(), out, err, output.echoLog());
    BatchReport& all = output.all();
    if (!forEachFolder(groups, ".zip files", err, [&](const BatchFiles& files) {
            TestRequest request{files, options.unzipPassword(), context.jobs};
            request.checkTorrentZip = flags.json || Options::isSet(options.chkCheckTorrentZip);
            request.setAsideBad = !reportOnly && !Options::isSet(options.chkTestOnly);
            output.add(test_zip_files(request, host, host, [&](int, int, const QString& path) {
                progress.step(path);
            }));
        }))
        all.end = BatchEnd::Stopped;
    progress.clear();
    if (interruptFlag().load() && int(all.items.size()) < total)
        all.end = BatchEnd::Stopped;

    const int bad = all.count(ItemResult::Failed);
    const int notTested = all.count(ItemResult::NotJudged);
    const int good = all.count(ItemResult::Done);
    output.finish(printJson);
    if (!flags.quiet && (!flags.json || progress.enabled())) {
        err << "Tested " << all.items.size() << " of " << total << " archives: " << good
            << " good, " << bad << " bad, " << notTested << " not tested"
            << (all.stopped() ? " (stopped)" : "") << '\n';
        err.flush();
    }
    if (bad > 0 || missing > 0)
        return kExitBad;
    if (notTested > 0 || all.stopped())
        return kExitNotTested;
    return kExitGood;
}

} // namespace kelmar::cli
