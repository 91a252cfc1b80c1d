#include "maintenance/RenameFiles.h"

#include "fs/AddModeBits.h"
#include "fs/NativeName.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/BatchHost.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace kelmar {

namespace {

using Kind = RenameStep::Kind;

// How an operation words a name that is taken, and what it does with the file's own name
// spelled otherwise.
enum class TakenReport { LogRenaming, LogManual, Warning };

struct Flavour
{
    SameFileName sameFile = SameFileName::Rename;
    TakenReport taken = TakenReport::LogRenaming;
    bool logRenamed = false; // "Renamed OLD to NEW" for every selected file
};

Flavour flavourOf(const RenameRule& rule)
{
    Flavour f;
    if (rule.kind == RenameRule::Kind::FindAndReplace) {
        // A change of case alone finds the file itself where names ignore case; find and
        // replace has always left such a file alone there.
        f.sameFile = SameFileName::Keep;
        f.taken = TakenReport::Warning;
    }
    f.logRenamed = rule.kind == RenameRule::Kind::InsertSpaces;
    return f;
}

QString errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

std::vector<std::pair<int, QString>> selectedFiles(BatchHost& host)
{
    std::vector<std::pair<int, QString>> selected;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelected(position))
            selected.emplace_back(position, host.fileName(position));
    }
    return selected;
}

// The log, cleared only once the batch has something to say: find and replace leaves the last
// operation's log alone when all goes well.
class Log
{
public:
    Log(BatchHost& host, bool clearNow) : m_host(host), m_cleared(clearNow)
    {
        if (clearNow)
            host.clear_log();
    }
    void write(const QString& line)
    {
        if (!m_cleared) {
            m_host.clear_log();
            m_cleared = true;
        }
        m_host.write_log(line);
    }

private:
    BatchHost& m_host;
    bool m_cleared;
};

// Normal attributes: owner-writable. A link is left alone; its mode is its target's.
void makeNormal(const QString& path, Log& log)
{
    if (!fs::addModeBits(path, S_IWUSR) && errno != ENOENT)
        log.write(QStringLiteral("Error setting the attributes of ") + path + QStringLiteral(": ") +
                  errorText(errno));
}

void reportTaken(BatchHost& host, Log& log, TakenReport how, const QString& oldPath,
                 const QString& newPath)
{
    switch (how) {
    case TakenReport::LogRenaming:
        log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral("! ") + newPath +
                  QStringLiteral(" already exists."));
        break;
    case TakenReport::LogManual:
        log.write(QStringLiteral("Error! File ") + newPath + QStringLiteral(" already exists."));
        break;
    case TakenReport::Warning:
        host.messageBox(u'\'' + newPath + QStringLiteral("' already exists."),
                        QStringLiteral("Warning."), MsgIcon::Information, MsgButtons::Ok);
        break;
    }
}

} // namespace

bool renameViaTemp(const QString& oldPath, const QString& newPath, QString folder, QString* error,
                   int* code)
{
    const QString temp = basMain::MakeTempName(folder);
    if (temp.isEmpty()) {
        *error = QStringLiteral("no temporary name is free in the folder");
        *code = -1;
        return false;
    }
    if (!fs::renameNoReplace(oldPath, temp, error)) {
        *code = errno;
        return false;
    }
    if (fs::renameNoReplace(temp, newPath, error))
        return true;
    *code = errno;
    QString undoError;
    if (!fs::renameNoReplace(temp, oldPath, &undoError)) {
        *error += QStringLiteral("; the file could not get its name back and is now ") + temp +
                  QStringLiteral(": ") + undoError;
        *code = -1;
    }
    return false;
}

namespace {

RenameReport run(BatchHost& host, RenamePlan plan, const Flavour& flavour, bool clearLogNow)
{
    RenameReport report;
    Log log(host, clearLogNow);
    host.protect_form();

    for (const int index : plan.order) {
        if (host.stopRequested()) {
            report.stopped = true;
            break;
        }
        RenameStep& step = plan.steps[std::size_t(index)];
        const QString oldPath = plan.folder + step.oldName;
        const QString newPath = plan.folder + step.newName;
        if (step.kind == Kind::Missing) {
            log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(": ") +
                      step.reason);
            continue;
        }
        makeNormal(oldPath, log);

        switch (step.kind) {
        case Kind::Rename:
        case Kind::ViaTemp: {
            QString error;
            int code = 0;
            if (step.kind == Kind::Rename) {
                step.renamed = fs::renameNoReplace(oldPath, newPath, &error);
                code = errno;
            } else {
                step.renamed = renameViaTemp(oldPath, newPath, plan.folder, &error, &code);
            }
            if (step.renamed) {
                if (flavour.logRenamed)
                    log.write(QStringLiteral("Renamed ") + oldPath + QStringLiteral(" to ") +
                              newPath);
            } else if (code == EEXIST) {
                step.error = QStringLiteral("the name is taken");
                reportTaken(host, log, flavour.taken, oldPath, newPath);
            } else {
                step.error = error;
                log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                          newPath + QStringLiteral(": ") + error);
            }
            break;
        }
        case Kind::Unchanged:
            if (flavour.logRenamed)
                log.write(QStringLiteral("Renamed ") + oldPath + QStringLiteral(" to ") + newPath);
            else if (flavour.taken == TakenReport::LogManual)
                reportTaken(host, log, flavour.taken, oldPath, newPath);
            break;
        case Kind::Self:
            if (flavour.taken == TakenReport::LogManual)
                reportTaken(host, log, flavour.taken, oldPath, newPath);
            break;
        case Kind::Taken:
        case Kind::Clash:
            reportTaken(host, log, flavour.taken, oldPath, newPath);
            break;
        case Kind::Refused:
            log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                      newPath + QStringLiteral(": ") + step.reason);
            break;
        case Kind::Skipped:
        case Kind::Missing:
            break;
        }
    }

    report.plan = std::move(plan);
    host.refresh(); // re-reads the list and recounts
    host.release_form();
    return report;
}

} // namespace

QString RenameRule::apply(const QString& name) const
{
    switch (kind) {
    case Kind::CapitalCase:
        return NameRules::capitalCase(name);
    case Kind::LowerCase:
        return NameRules::lowerCase(name);
    case Kind::UpperCase:
        return NameRules::upperCase(name);
    case Kind::InsertSpaces:
        return NameRules::insertSpaces(name);
    case Kind::RemoveSpaces:
        return NameRules::removeSpaces(name);
    case Kind::FindAndReplace:
        return NameRules::findAndReplace(name, find, replace);
    }
    return name;
}

int RenameReport::renamed() const
{
    int n = 0;
    for (const RenameStep& s : plan.steps)
        n += s.renamed ? 1 : 0;
    return n;
}

int RenameReport::failed() const
{
    int n = 0;
    for (const RenameStep& s : plan.steps) {
        switch (s.kind) {
        case Kind::Rename:
        case Kind::ViaTemp:
            n += s.error.isEmpty() ? 0 : 1;
            break;
        case Kind::Taken:
        case Kind::Clash:
        case Kind::Refused:
        case Kind::Missing:
            ++n;
            break;
        default:
            break;
        }
    }
    return n;
}

RenamePlan plan_renames(BatchHost& host, const RenameRule& rule)
{
    return planRenames(
        host.folder(), selectedFiles(host),
        [&](int, const QString& name) { return std::optional<QString>(rule.apply(name)); },
        flavourOf(rule).sameFile);
}

RenameReport rename_files(BatchHost& host, const RenameRule& rule)
{
    const bool findAndReplace = rule.kind == RenameRule::Kind::FindAndReplace;
    return run(host, plan_renames(host, rule), flavourOf(rule), !findAndReplace);
}

RenameReport to_capital_case(BatchHost& host)
{
    return rename_files(host, {RenameRule::Kind::CapitalCase, {}, {}});
}

RenameReport to_lower_case(BatchHost& host)
{
    return rename_files(host, {RenameRule::Kind::LowerCase, {}, {}});
}

RenameReport to_upper_case(BatchHost& host)
{
    return rename_files(host, {RenameRule::Kind::UpperCase, {}, {}});
}

RenameReport insert_spaces(BatchHost& host)
{
    return rename_files(host, {RenameRule::Kind::InsertSpaces, {}, {}});
}

RenameReport remove_spaces(BatchHost& host)
{
    return rename_files(host, {RenameRule::Kind::RemoveSpaces, {}, {}});
}

RenameReport find_and_replace(BatchHost& host, const QString& find, const QString& replace)
{
    return rename_files(host, {RenameRule::Kind::FindAndReplace, find, replace});
}

RenameReport to_manual_name(BatchHost& host)
{
    // Every answer first, then the renames: the plan sees all new names at once, and no input
    // box waits under a busy pointer.
    const auto selected = selectedFiles(host);
    QHash<int, QString> answers;
    for (const auto& [position, name] : selected) {
        std::optional<QString> answer =
            host.inputBox(QStringLiteral("Enter new name: "), QStringLiteral("Rename"), name);
        if (!answer)
            continue;
        basMain::RemoveInvalidChars(*answer);
        if (!answer->isEmpty())
            answers.insert(position, *answer);
    }
    RenamePlan plan = planRenames(
        host.folder(), selected,
        [&](int position, const QString&) -> std::optional<QString> {
            const auto it = answers.constFind(position);
            return it == answers.constEnd() ? std::nullopt : std::optional<QString>(*it);
        },
        SameFileName::Keep);
    Flavour flavour;
    flavour.sameFile = SameFileName::Keep;
    flavour.taken = TakenReport::LogManual;
    return run(host, std::move(plan), flavour, true);
}

} // namespace kelmar
