// kelmar-cli rename: the window's renames by rule, with a plan that can be shown first.
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/OptionTable.h"
#include "maintenance/RenameFiles.h"
#include "names/basMain.h"

namespace kelmar::cli {

const char* const kRenameHelp =
    R"HELP(  rename    Rename files by one rule, as the window's "Rename" menu does. A file
            is never renamed over another file (hidden files and folders count):
            such a file keeps its name, and the log says "Error renaming OLD! NEW
            already exists." Every file named is made writable by its owner. The
            whole plan is worked out before the first file is touched; a file
            whose new name another file of the run gives up is renamed after it.

Arguments of rename:
  PATH      A file, or a folder meaning every file in it (not hidden files, not
            subfolders).

Options of rename (exactly one rule):
  --capital              Capital Case: lower case, with a capital at the start
                         and after every space, "_" and "(".
  --lower                lower case, extension included.
  --upper                UPPER CASE, extension included.
  --insert-spaces        A space before every capital A-Z and "-" of the name
                         (not the extension) that does not follow a space:
                         "SuperMarioBros.nes" -> "Super Mario Bros.nes". Logs
                         "Renamed OLD to NEW" for every file.
  --remove-spaces        Every space removed.
  --find TEXT --replace TEXT
                         Every occurrence of TEXT (case-sensitive) replaced;
                         names without it are left alone. The replacement may
                         not hold \ / : * ? < > | or a double quote. A name
                         that is taken is reported on stderr as
                         "Warning.: 'NEW' already exists."
  --dry-run              Change nothing: print "OLD -> NEW" for every planned
                         rename, and "OLD -> NEW: collision, ..." or
                         "OLD -> NEW: refused, ..." for every file that would
                         keep its name.

Exit status of rename:
  0  every file that was to get a new name got it (or would, with --dry-run)
  1  at least one file could not be renamed (or would not be), or a PATH does
     not exist
  2  usage error
  3  stopped (Ctrl+C, SIGTERM, SIGHUP) before the end, with no file failed
)HELP";

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

int runRename(const QStringList& args, const Context&, QTextStream& out, QTextStream& err)
{
    std::optional<RenameRule::Kind> kind;
    QString find;
    QString replace;
    bool haveFind = false;
    bool haveReplace = false;
    bool dryRun = false;
    QStringList paths;
    auto setRule = [&](RenameRule::Kind k) {
        if (kind && *kind != k)
            return false;
        kind = k;
        return true;
    };
    const QString oneRule = QStringLiteral("rename takes one rule per run");
    auto ruleSwitch = [&](const char* name, RenameRule::Kind k) {
        return CliOption{{QLatin1String(name)}, false, QString(), [&, k](const QString&) {
                             return setRule(k) ? QString() : oneRule;
                         }};
    };
    const OptionTable table = {
        ruleSwitch("--capital", RenameRule::Kind::CapitalCase),
        ruleSwitch("--lower", RenameRule::Kind::LowerCase),
        ruleSwitch("--upper", RenameRule::Kind::UpperCase),
        ruleSwitch("--insert-spaces", RenameRule::Kind::InsertSpaces),
        ruleSwitch("--remove-spaces", RenameRule::Kind::RemoveSpaces),
        cliValue(QStringLiteral("--find"), QStringLiteral("--find needs a text"),
                 [&](const QString& v) {
                     find = v;
                     haveFind = true;
                     return setRule(RenameRule::Kind::FindAndReplace) ? QString() : oneRule;
                 }),
        cliValue(QStringLiteral("--replace"), QStringLiteral("--replace needs a text"),
                 [&](const QString& v) {
                     replace = v;
                     haveReplace = true;
                     return setRule(RenameRule::Kind::FindAndReplace) ? QString() : oneRule;
                 }),
        cliSwitch({QStringLiteral("--dry-run")}, [&] { dryRun = true; }),
    };
    if (!parseOptions(args, "rename", table, &paths, err))
        return kExitUsage;
    if (!kind)
        return usage(err, QStringLiteral("rename needs a rule: --capital, --lower, --upper, "
                                         "--insert-spaces, --remove-spaces or --find/--replace"));
    if (*kind == RenameRule::Kind::FindAndReplace) {
        const QString wrong = findAndReplaceError(haveFind && haveReplace, find, replace);
        if (!wrong.isEmpty())
            return usage(err, wrong);
    }
    if (paths.isEmpty())
        return usage(err, QStringLiteral("rename needs at least one file or folder"));
    std::vector<Group> groups;
    int missing = 0;
    if (!groupPaths(paths, filesIn, nullptr, QString(), groups, &missing, err))
        return kExitUsage;

    const RenameRule rule{*kind, find, replace};
    installInterruptHandler();
    CliHost host(interruptFlag(), out, err, true);
    int failed = 0;
    bool stopped = false;
    if (!forEachFolder(groups, "files", err, [&](const BatchFiles& files) {
            const RenameRequest request{files, rule};
            if (dryRun) {
                failed += printPlan(plan_renames(request), out);
                return;
            }
            const BatchReport report = rename_files(request, host, host);
            failed += report.failedCount();
            stopped = stopped || report.stopped();
        }))
        stopped = true;
    return batchExitStatus(failed + missing, stopped);
}

} // namespace kelmar::cli
