// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RenameFiles.h"

#include "fs/AddModeBits.h"
#include "fs/NativeName.h"
#include "fs/RenameNoReplace.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <sys/stat.h> // S_IWUSR: the mode bits added (fs::addModeBits)

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

// The request's files as the plan takes them: each name with its place in the list.
std::vector<std::pair<int, QString>> numbered(const BatchFiles& files)
{
    std::vector<std::pair<int, QString>> selected;
    for (int i = 0; i < files.size(); ++i)
        selected.emplace_back(i, files.names.at(i));
    return selected;
}

// The log, cleared only once the batch has something to say: find and replace leaves the last
// operation's log alone when all goes well.
class Log
{
public:
    Log(ProgressSink& sink, bool clearNow) : m_sink(sink), m_cleared(clearNow)
    {
        if (clearNow)
            sink.clear_log();
    }
    void write(const QString& line)
    {
        if (!m_cleared) {
            m_sink.clear_log();
            m_cleared = true;
        }
        m_sink.write_log(line);
    }

private:
    ProgressSink& m_sink;
    bool m_cleared;
};

// Normal attributes: owner-writable. A link is left alone; its mode is its target's.
void makeNormal(const QString& path, Log& log)
{
    if (!fs::addModeBits(path, S_IWUSR) && errno != ENOENT)
        log.write(QStringLiteral("Error setting the attributes of ") + path + QStringLiteral(": ") +
                  errorText(errno));
}

void reportTaken(BatchQuestions& questions, Log& log, TakenReport how, const QString& oldPath,
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
        questions.messageBox(u'\'' + newPath + QStringLiteral("' already exists."),
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

// How a run speaks: its log, its questions and the way it words what it meets.
struct Voice
{
    Log& log;
    BatchQuestions& questions;
    const Flavour& flavour;

    void taken(const QString& oldPath, const QString& newPath)
    {
        reportTaken(questions, log, flavour.taken, oldPath, newPath);
    }
    void renamed(const QString& oldPath, const QString& newPath)
    {
        if (flavour.logRenamed)
            log.write(QStringLiteral("Renamed ") + oldPath + QStringLiteral(" to ") + newPath);
    }
};

// Renames the file of a planned rename, by its new name or through a temporary one.
void renameOne(RenameStep& step, const QString& folder, Voice& voice)
{
    const QString oldPath = folder + step.oldName;
    const QString newPath = folder + step.newName;
    QString error;
    int code = 0;
    if (step.kind == Kind::Rename) {
        step.renamed = fs::renameNoReplace(oldPath, newPath, &error);
        code = errno;
    } else {
        step.renamed = renameViaTemp(oldPath, newPath, folder, &error, &code);
    }
    if (step.renamed) {
        voice.renamed(oldPath, newPath);
    } else if (code == EEXIST) {
        step.error = QStringLiteral("the name is taken");
        voice.taken(oldPath, newPath);
    } else {
        step.error = error;
        voice.log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                        newPath + QStringLiteral(": ") + error);
    }
}

// Carries out one step of the plan and says what it came to.
void carryOut(RenameStep& step, const QString& folder, Voice& voice)
{
    const QString oldPath = folder + step.oldName;
    const QString newPath = folder + step.newName;
    if (step.kind == Kind::Missing) {
        voice.log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(": ") +
                        step.reason);
        return;
    }
    makeNormal(oldPath, voice.log);
    const bool manual = voice.flavour.taken == TakenReport::LogManual;
    switch (step.kind) {
    case Kind::Rename:
    case Kind::ViaTemp:
        renameOne(step, folder, voice);
        break;
    case Kind::Unchanged:
        if (voice.flavour.logRenamed)
            voice.renamed(oldPath, newPath);
        else if (manual)
            voice.taken(oldPath, newPath);
        break;
    case Kind::Self:
        if (manual)
            voice.taken(oldPath, newPath);
        break;
    case Kind::Taken:
    case Kind::Clash:
        voice.taken(oldPath, newPath);
        break;
    case Kind::Refused:
        voice.log.write(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                        newPath + QStringLiteral(": ") + step.reason);
        break;
    case Kind::Skipped:
    case Kind::Missing:
        break;
    }
}

// What became of a step that was carried out.
ItemOutcome outcomeOf(const RenameStep& step, const QString& folder)
{
    ItemOutcome item;
    item.path = folder + step.oldName;
    switch (step.kind) {
    case Kind::Rename:
    case Kind::ViaTemp:
        item.result = step.renamed ? ItemResult::Done : ItemResult::Failed;
        item.reason = step.error;
        item.target = folder + step.newName;
        break;
    case Kind::Unchanged:
    case Kind::Self:
        item.result = ItemResult::Unchanged;
        break;
    case Kind::Skipped:
        item.result = ItemResult::Skipped;
        break;
    case Kind::Taken:
    case Kind::Clash:
        item.result = ItemResult::Failed;
        item.reason = QStringLiteral("the name is taken");
        item.target = folder + step.newName;
        break;
    case Kind::Refused:
    case Kind::Missing:
        item.result = ItemResult::Failed;
        item.reason = step.reason;
        break;
    }
    return item;
}

BatchReport run(RenamePlan plan, const Flavour& flavour, bool clearLogNow, ProgressSink& sink,
                BatchQuestions& questions)
{
    BatchReport report;
    Log log(sink, clearLogNow);
    Voice voice{log, questions, flavour};
    for (const int index : plan.order) {
        if (sink.stopRequested()) {
            report.end = BatchEnd::Stopped;
            break;
        }
        RenameStep& step = plan.steps[std::size_t(index)];
        carryOut(step, plan.folder, voice);
        report.items.push_back(outcomeOf(step, plan.folder));
    }
    return report;
}

// Every answer first, then the renames: the plan sees all new names at once, and no input
// box waits under a busy pointer.
RenamePlan askNewNames(const BatchFiles& files, BatchQuestions& questions)
{
    const auto selected = numbered(files);
    QHash<int, QString> answers;
    for (const auto& [position, name] : selected) {
        std::optional<QString> answer =
            questions.inputBox(QStringLiteral("Enter new name: "), QStringLiteral("Rename"), name);
        if (!answer)
            continue;
        basMain::RemoveInvalidChars(*answer);
        if (!answer->isEmpty())
            answers.insert(position, *answer);
    }
    return planRenames(
        files.folder, selected,
        [&](int position, const QString&) -> std::optional<QString> {
            const auto it = answers.constFind(position);
            return it == answers.constEnd() ? std::nullopt : std::optional<QString>(*it);
        },
        SameFileName::Keep);
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
    case Kind::Manual:
        break;
    }
    return name;
}

RenamePlan plan_renames(const RenameRequest& request)
{
    const RenameRule& rule = request.rule;
    return planRenames(
        request.files.folder, numbered(request.files),
        [&](int, const QString& name) {
            return rule.kind == RenameRule::Kind::Manual ? std::nullopt
                                                         : std::optional<QString>(rule.apply(name));
        },
        flavourOf(rule).sameFile);
}

BatchReport rename_files(const RenameRequest& request, ProgressSink& sink,
                         BatchQuestions& questions)
{
    if (request.rule.kind == RenameRule::Kind::Manual) {
        Flavour flavour;
        flavour.sameFile = SameFileName::Keep;
        flavour.taken = TakenReport::LogManual;
        return run(askNewNames(request.files, questions), flavour, true, sink, questions);
    }
    const bool findAndReplace = request.rule.kind == RenameRule::Kind::FindAndReplace;
    return run(plan_renames(request), flavourOf(request.rule), !findAndReplace, sink, questions);
}

namespace {

BatchReport byRule(const BatchFiles& files, RenameRule::Kind kind, ProgressSink& sink,
                   BatchQuestions& questions)
{
    return rename_files({files, {kind, {}, {}}}, sink, questions);
}

} // namespace

BatchReport to_capital_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::CapitalCase, sink, questions);
}

BatchReport to_lower_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::LowerCase, sink, questions);
}

BatchReport to_upper_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::UpperCase, sink, questions);
}

BatchReport insert_spaces(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::InsertSpaces, sink, questions);
}

BatchReport remove_spaces(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::RemoveSpaces, sink, questions);
}

BatchReport to_manual_name(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions)
{
    return byRule(files, RenameRule::Kind::Manual, sink, questions);
}

BatchReport find_and_replace(const BatchFiles& files, const QString& find, const QString& replace,
                             ProgressSink& sink, BatchQuestions& questions)
{
    return rename_files({files, {RenameRule::Kind::FindAndReplace, find, replace}}, sink,
                        questions);
}

} // namespace kelmar
