// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RunOptions.h"

#include "cli/Commands.h"
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "names/NameOrder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace kelmar::cli {

namespace {

const char* const kCommonJson =
    R"(Print one JSON document on stdout instead of the log lines: {"items": [{"path", "result": "done"|"unchanged"|"failed"|"kept"|"not judged"|"skipped", "reason", "code", "target"}...], "done": n, "unchanged": n, "failed": n, "kept": n, "notJudged": n, "skipped": n, "stopped": true|false}.)";

// The names of a file list: what is between the separators, every byte kept; empty names
// (two separators in a row, the end) are none.
bool readFileList(const RunFlags& flags, QStringList* paths, QTextStream& err)
{
    QFile list;
    const bool standardInput = flags.filesFrom == u"-";
    const bool opened =
        standardInput ? list.open(stdin, QIODevice::ReadOnly)
                      : (list.setFileName(fs::displayName(flags.filesFrom)),
                         list.open(QIODevice::ReadOnly));
    if (!opened) {
        usage(err, QStringLiteral("cannot read the file list '%1'")
                       .arg(fs::displayName(flags.filesFrom)));
        return false;
    }
    const QByteArray bytes = list.readAll();
    for (const QByteArray& name : bytes.split(flags.nullSeparated ? '\0' : '\n')) {
        if (!name.isEmpty())
            paths->append(fs::nameFromNative(name));
    }
    return true;
}

QString verdictOf(BatchKind kind, ItemResult result)
{
    return kind == BatchKind::Test ? testVerdictName(result) : itemResultName(result);
}

} // namespace

QString testVerdictName(ItemResult result)
{
    switch (result) {
    case ItemResult::Done:
        return QStringLiteral("good");
    case ItemResult::Failed:
        return QStringLiteral("bad");
    default:
        return QStringLiteral("not-tested");
    }
}

OptionTable withRunOptions(OptionTable table, RunFlags& flags, PathKind kind,
                           const QString& jsonHelp)
{
    if (kind == PathKind::Folders) {
        table.push_back(
            cliSwitch({QStringLiteral("-r"), QStringLiteral("--recursive")},
                      [&flags] { flags.recursive = true; })
                .described(QStringLiteral(
                    "A folder stands for the files of every folder below it too, named by their "
                    "paths below it; links to folders are not followed, and a folder that "
                    "cannot be read is named on stderr while the rest goes on.")));
    }
    table.push_back(
        cliValue(QStringLiteral("--files-from"), QStringLiteral("--files-from needs a file"),
                 [&flags](const QString& v) {
                     flags.filesFrom = v;
                     return v.isEmpty() ? QStringLiteral("--files-from needs a file") : QString();
                 })
            .described(QStringLiteral("FILE"),
                       QStringLiteral("Take more PATHs from FILE, one a line (\"-\": standard "
                                      "input); each name keeps every byte.")));
    table.push_back(cliSwitch({QStringLiteral("-0"), QStringLiteral("--null")},
                              [&flags] { flags.nullSeparated = true; })
                        .described(QStringLiteral("The names of --files-from end in a NUL "
                                                  "character, as find -print0 writes them.")));
    table.push_back(cliSwitch({QStringLiteral("-q"), QStringLiteral("--quiet")},
                              [&flags] { flags.quiet = true; })
                        .described(QStringLiteral("Print the errors and the closing line "
                                                  "only.")));
    table.push_back(cliSwitch({QStringLiteral("-v"), QStringLiteral("--verbose")},
                              [&flags] { flags.verbose = true; })
                        .described(QStringLiteral("Print a line for every item, good ones too: "
                                                  "\"RESULT: PATH\".")));
    table.push_back(cliSwitch({QStringLiteral("--json")}, [&flags] { flags.json = true; })
                        .described(jsonHelp.isEmpty() ? QLatin1String(kCommonJson) : jsonHelp));
    return table;
}

bool parseCommand(const QStringList& args, const char* command, const OptionTable& table,
                  RunFlags& flags, PathKind kind, QStringList* paths, QTextStream& err)
{
    if (!parseOptions(args, command, withRunOptions(table, flags, kind), paths, err))
        return false;
    if (flags.nullSeparated && flags.filesFrom.isEmpty()) {
        usage(err, QStringLiteral("-0 goes with --files-from"));
        return false;
    }
    if (flags.quiet && flags.verbose) {
        usage(err, QStringLiteral("-q and -v do not go together"));
        return false;
    }
    return flags.filesFrom.isEmpty() || readFileList(flags, paths, err);
}

FolderLister folderLister(const RunFlags& flags, QStringList (*flat)(const QString&),
                          bool (*accept)(const QString& name), int* unreadable,
                          QTextStream& err)
{
    if (!flags.recursive)
        return flat;
    return [accept, unreadable, &err](const QString& folder) {
        QStringList all;
        QStringList failed;
        fs::listFilesBelow(folder, &all, &failed);
        for (const QString& f : failed) {
            err << "kelmar-cli: cannot read the folder '" << fs::displayName(f) << "'\n";
            ++*unreadable;
        }
        err.flush();
        QStringList names;
        for (const QString& name : all) {
            if (!accept || accept(name))
                names.append(name);
        }
        sortFileNames(names);
        return names;
    };
}

RunOutput::RunOutput(const RunFlags& flags, SummaryOf summary, QTextStream& out,
                     QTextStream& err)
    : m_flags(flags), m_summary(summary), m_out(out), m_err(err)
{
}

void RunOutput::add(const BatchReport& report)
{
    m_all.add(report);
    if (m_flags.json)
        return;
    for (const ItemOutcome& item : report.items) {
        const bool failed = item.result == ItemResult::Failed ||
                            item.result == ItemResult::Kept ||
                            item.result == ItemResult::NotJudged;
        if (m_flags.verbose) {
            m_out << verdictOf(m_summary.kind, item.result) << ": " << fs::printableName(item.path);
            if (!item.target.isEmpty())
                m_out << " -> " << fs::printableName(item.target);
            if (!item.reason.isEmpty())
                m_out << " (" << fs::printableName(item.reason) << ')';
            m_out << '\n';
        } else if (m_flags.quiet && failed && !m_failuresPrinted) {
            m_err << "kelmar-cli: " << fs::printableName(item.path) << ": "
                  << fs::printableName(item.reason) << '\n';
        }
    }
    m_out.flush();
    m_err.flush();
}

void RunOutput::finish(const std::function<void(const BatchReport&, QTextStream&)>& printJson)
{
    if (m_flags.json) {
        if (printJson)
            printJson(m_all, m_out);
        else
            m_out << reportJson(m_all);
        m_out.flush();
        return;
    }
    const QString line = batchSummary(m_summary, m_all);
    if (!line.isEmpty())
        m_out << line << '\n';
    m_out.flush();
}

QString reportJson(const BatchReport& report)
{
    QJsonArray items;
    for (const ItemOutcome& item : report.items)
        items.append(toJson(item));
    QJsonObject doc;
    doc.insert(QStringLiteral("items"), items);
    doc.insert(QStringLiteral("done"), report.count(ItemResult::Done));
    doc.insert(QStringLiteral("unchanged"), report.count(ItemResult::Unchanged));
    doc.insert(QStringLiteral("failed"), report.count(ItemResult::Failed));
    doc.insert(QStringLiteral("kept"), report.count(ItemResult::Kept));
    doc.insert(QStringLiteral("notJudged"), report.count(ItemResult::NotJudged));
    doc.insert(QStringLiteral("skipped"), report.count(ItemResult::Skipped));
    doc.insert(QStringLiteral("stopped"), report.stopped());
    return QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented));
}

} // namespace kelmar::cli
