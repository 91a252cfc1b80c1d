// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli rename: the window's renames by rule, with a plan that can be shown first.
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "cli/RunOptions.h"
#include "fs/NativeName.h"
#include "maintenance/RenameFiles.h"
#include "names/basMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kelmar::cli {


namespace {

// Prints the plan; returns the number of files that would keep their name against the rule.
int printPlan(const RenamePlan& plan, QTextStream& out)
{
    using Kind = RenameStep::Kind;
    int problems = 0;
    for (const RenameStep& s : plan.steps) {
        const QString from = plan.folder + s.oldName;
        const QString to = plan.folder + s.newName;
        switch (s.kind) {
        case Kind::Rename:
        case Kind::ViaTemp:
            out << from << " -> " << to << '\n';
            break;
        case Kind::Taken:
            out << from << " -> " << to << ": collision, " << plan.folder + s.holder
                << " has that name\n";
            ++problems;
            break;
        case Kind::Clash:
            out << from << " -> " << to << ": collision, " << plan.folder + s.holder
                << " gets that name first\n";
            ++problems;
            break;
        case Kind::Refused:
            out << from << " -> " << to << ": refused, " << s.reason << '\n';
            ++problems;
            break;
        case Kind::Missing:
            out << from << ": " << s.reason << '\n';
            ++problems;
            break;
        default:
            break;
        }
    }
    out.flush();
    return problems;
}

// The plan as JSON objects {"from", "to", "result": "rename"|"collision"|"refused"|"missing",
// "reason"} appended to steps; returns the number of files that would keep their name.
int planJson(const RenamePlan& plan, QJsonArray& steps)
{
    using Kind = RenameStep::Kind;
    int problems = 0;
    for (const RenameStep& s : plan.steps) {
        QString result;
        QString reason;
        switch (s.kind) {
        case Kind::Rename:
        case Kind::ViaTemp:
            result = QStringLiteral("rename");
            break;
        case Kind::Taken:
            result = QStringLiteral("collision");
            reason = fs::displayName(plan.folder + s.holder) + QStringLiteral(" has that name");
            break;
        case Kind::Clash:
            result = QStringLiteral("collision");
            reason = fs::displayName(plan.folder + s.holder) +
                     QStringLiteral(" gets that name first");
            break;
        case Kind::Refused:
        case Kind::Missing:
            result = s.kind == Kind::Refused ? QStringLiteral("refused") : QStringLiteral("missing");
            reason = s.reason;
            break;
        default:
            continue;
        }
        problems += result == u"rename" ? 0 : 1;
        QJsonObject step;
        step.insert(QStringLiteral("from"), fs::displayName(plan.folder + s.oldName));
        step.insert(QStringLiteral("to"), fs::displayName(plan.folder + s.newName));
        step.insert(QStringLiteral("result"), result);
        step.insert(QStringLiteral("reason"), reason);
        steps.append(step);
    }
    return problems;
}

// What is wrong with --find and --replace; nothing when they make a rule.
QString findAndReplaceError(bool bothGiven, const QString& find, const QString& replace)
{
    if (!bothGiven)
        return QStringLiteral("--find and --replace go together");
    if (find.isEmpty())
        return QStringLiteral("--find needs a text that is not empty");
    if (basMain::HoldsInvalidChars(replace))
        return QStringLiteral("the replacement may not hold \\ / : * ? < > | or a double quote");
    return QString();
}

} // namespace

namespace {

// What rename's flags say.
struct RenameArguments
{
    std::optional<RenameRule::Kind> kind;
    QString find;
    QString replace;
    bool haveFind = false;
    bool haveReplace = false;
    bool dryRun = false;

    // false when another rule was given before.
    bool setRule(RenameRule::Kind k)
    {
        if (kind && *kind != k)
            return false;
        kind = k;
        return true;
    }
};

OptionTable renameOptions(RenameArguments& a)
{
    const QString oneRule = QStringLiteral("rename takes one rule per run");
    auto ruleSwitch = [&a, oneRule](const char* name, RenameRule::Kind k, const char* text) {
        CliOption option = cliSwitch({QLatin1String(name)}, [] {});
        option.apply = [&a, k, oneRule](const QString&) {
            return a.setRule(k) ? QString() : oneRule;
        };
        return option.described(QLatin1String(text));
    };
    return {
        ruleSwitch("--capital", RenameRule::Kind::CapitalCase,
                   "Capital Case: lower case, with a capital at the start and after every "
                   "space, \"_\" and \"(\"."),
        ruleSwitch("--lower", RenameRule::Kind::LowerCase, "lower case, extension included."),
        ruleSwitch("--upper", RenameRule::Kind::UpperCase, "UPPER CASE, extension included."),
        ruleSwitch("--insert-spaces", RenameRule::Kind::InsertSpaces,
                   "A space before every capital A-Z and \"-\" of the name (not the "
                   "extension) that does not follow a space: \"SuperMarioBros.nes\" -> \"Super "
                   "Mario Bros.nes\". Logs \"Renamed OLD to NEW\" for every file."),
        ruleSwitch("--remove-spaces", RenameRule::Kind::RemoveSpaces, "Every space removed."),
        cliValue(QStringLiteral("--find"), QStringLiteral("--find needs a text"),
                 [&a, oneRule](const QString& v) {
                     a.find = v;
                     a.haveFind = true;
                     return a.setRule(RenameRule::Kind::FindAndReplace) ? QString() : oneRule;
                 })
            .described(QStringLiteral("TEXT"),
                       QStringLiteral("Every occurrence of TEXT (case-sensitive) replaced by "
                                      "--replace's; names without it are left alone. A name "
                                      "that is taken is reported on stderr as \"Warning.: "
                                      "'NEW' already exists.\"")),
        cliValue(QStringLiteral("--replace"), QStringLiteral("--replace needs a text"),
                 [&a, oneRule](const QString& v) {
                     a.replace = v;
                     a.haveReplace = true;
                     return a.setRule(RenameRule::Kind::FindAndReplace) ? QString() : oneRule;
                 })
            .described(QStringLiteral("TEXT"),
                       QStringLiteral("What --find's TEXT becomes; it may not hold \\ / : * ? "
                                      "< > | or a double quote.")),
        cliSwitch({QStringLiteral("--dry-run")}, [&a] { a.dryRun = true; })
            .described(QStringLiteral("Change nothing: print \"OLD -> NEW\" for every planned "
                                      "rename, and \"OLD -> NEW: collision, ...\" or \"OLD -> "
                                      "NEW: refused, ...\" for every file that would keep its "
                                      "name. With --json: {\"plan\": [{\"from\", \"to\", "
                                      "\"result\": \"rename\"|\"collision\"|\"refused\"|"
                                      "\"missing\", \"reason\"}...], \"problems\": n}.")),
    };
}

} // namespace

CommandHelp renameHelp()
{
    static RenameArguments arguments;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Rename files by one rule, as the window's \"Rename\" menu does. A file is never "
        "renamed over another file (hidden files and folders count): such a file keeps its "
        "name, and the log says \"Error renaming OLD! NEW already exists.\" Every file named "
        "is made writable by its owner. The whole plan is worked out before the first file is "
        "touched; a file whose new name another file of the run gives up is renamed after it.");
    help.before = {{QStringLiteral("Arguments of rename:"),
                    {{QStringLiteral("PATH"),
                      QStringLiteral("A file, or a folder meaning every file in it (not hidden "
                                     "files, not subfolders).")}},
                    QString()}};
    help.optionsHeading = QStringLiteral("Options of rename (exactly one rule):");
    static RunFlags flags;
    help.options = withRunOptions(renameOptions(arguments), flags, PathKind::Folders);
    help.after = {exitStatus(
        "rename",
        {{QStringLiteral("0"), QStringLiteral("every file that was to get a new name got it (or "
                                              "would, with --dry-run)")},
         {QStringLiteral("1"), QStringLiteral("at least one file could not be renamed (or would "
                                              "not be), or a PATH does not exist")},
         {QStringLiteral("2"), QStringLiteral("usage error")},
         {QStringLiteral("3"), QStringLiteral("stopped (Ctrl+C, SIGTERM, SIGHUP) before the "
                                              "end, with no file failed")}})};
    return help;
}

int runRename(const QStringList& args, const Context&, QTextStream& out, QTextStream& err)
{
    RenameArguments a;
    RunFlags flags;
    QStringList paths;
    const OptionTable table = renameOptions(a);
    if (!parseCommand(args, "rename", table, flags, PathKind::Folders, &paths, err))
        return kExitUsage;
    if (!a.kind)
        return usage(err, QStringLiteral("rename needs a rule: --capital, --lower, --upper, "
                                         "--insert-spaces, --remove-spaces or --find/--replace"));
    if (*a.kind == RenameRule::Kind::FindAndReplace) {
        const QString wrong = findAndReplaceError(a.haveFind && a.haveReplace, a.find, a.replace);
        if (!wrong.isEmpty())
            return usage(err, wrong);
    }
    if (paths.isEmpty())
        return usage(err, QStringLiteral("rename needs at least one file or folder"));
    std::vector<Group> groups;
    int missing = 0;
    if (!groupPaths(paths, folderLister(flags, filesIn, nullptr, &missing, err), nullptr,
                    QString(), groups, &missing, err))
        return kExitUsage;

    const RenameRule rule{*a.kind, a.find, a.replace};
    installInterruptHandler();
    RunOutput output(flags, SummaryOf{BatchKind::Rename}, out, err);
    CliHost host(interruptFlag(), out, err, output.echoLog());
    int failed = 0;
    bool stopped = false;
    QJsonArray planned; // --dry-run --json
    if (!forEachFolder(groups, "files", err, [&](const BatchFiles& files) {
            const RenameRequest request{files, rule};
            if (a.dryRun) {
                failed += flags.json ? planJson(plan_renames(request), planned)
                                     : printPlan(plan_renames(request), out);
                return;
            }
            const BatchReport report = rename_files(request, host, host);
            output.add(report);
            failed += report.failedCount();
            stopped = stopped || report.stopped();
        }))
        stopped = true;
    if (a.dryRun && flags.json) {
        QJsonObject doc;
        doc.insert(QStringLiteral("plan"), planned);
        doc.insert(QStringLiteral("problems"), failed);
        out << QJsonDocument(doc).toJson(QJsonDocument::Indented);
        out.flush();
    }
    if (!a.dryRun) {
        if (stopped)
            output.all().end = std::max(output.all().end, BatchEnd::Stopped);
        output.finish();
    }
    return batchExitStatus(failed + missing, stopped);
}

} // namespace kelmar::cli
