// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/OptionTable.h"
#include "maintenance/BatchReport.h"
#include "maintenance/BatchSummary.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

// The options every command takes beside its own: where its paths come from (-r,
// --files-from, -0) and how much it prints (-q, -v, --json).
namespace kelmar::cli {

struct RunFlags
{
    bool recursive = false; // -r: a folder stands for the files of every folder below it too
    QString filesFrom;      // --files-from FILE: more paths, one a line; "-" reads stdin
    bool nullSeparated = false; // -0: the names of the list end in NUL, not in a line feed
    bool quiet = false;         // -q: the errors and the closing line only
    bool verbose = false;       // -v: a line for every item, good ones too
    bool json = false;          // --json: one JSON document instead of the log
};

// What a command's paths can be.
enum class PathKind {
    Folders, // files, and folders standing for the files in them: -r applies
    Named,   // each path stands for itself alone (a file, or a folder as a whole): no -r
};

// table with the run's options after the command's own. jsonHelp describes --json where the
// command prints its own document; empty: the common one ({"items": ...}).
OptionTable withRunOptions(OptionTable table, RunFlags& flags, PathKind kind,
                           const QString& jsonHelp = QString());

// parseOptions over withRunOptions(table), then the names of --files-from appended to paths
// (each name keeps every byte). False after printing the usage error.
bool parseCommand(const QStringList& args, const char* command, const OptionTable& table,
                  RunFlags& flags, PathKind kind, QStringList* paths, QTextStream& err);

// Lists a folder for a command: the names the command takes from it, in the list's order.
using FolderLister = std::function<QStringList(const QString& folder)>;
// flat as it is, or with -r the files of every folder below too (relative names, filtered by
// accept when given); a sub-folder that cannot be read is named on stderr ("kelmar-cli:
// cannot read the folder 'X'") and counted in *unreadable, and the rest is listed.
FolderLister folderLister(const RunFlags& flags, QStringList (*flat)(const QString&),
                          bool (*accept)(const QString& name), int* unreadable,
                          QTextStream& err);

// What a command prints of its reports beside the log: with -v a line per item as each folder
// ends, with -q each item that failed on stderr, and at the end the closing line (on stdout,
// the log's stream) or with --json the document.
class RunOutput
{
public:
    RunOutput(const RunFlags& flags, SummaryOf summary, QTextStream& out, QTextStream& err);

    // Whether the batches' own log lines are printed.
    bool echoLog() const { return !m_flags.quiet && !m_flags.json; }
    // A folder's report: its lines with -v, and kept for the end.
    void add(const BatchReport& report);
    BatchReport& all() { return m_all; }
    // The command prints each failure on stderr itself: -q adds nothing to it.
    void failuresPrinted() { m_failuresPrinted = true; }
    // The closing line or the JSON document; printJson, when given, prints the command's own.
    void finish(const std::function<void(const BatchReport&, QTextStream&)>& printJson = {});

private:
    RunFlags m_flags;
    SummaryOf m_summary;
    QTextStream& m_out;
    QTextStream& m_err;
    BatchReport m_all;
    bool m_failuresPrinted = false;
};

// {"items": [{"path", "result", "reason", "code", "target"}...], "done": n, "unchanged": n,
// "failed": n, "kept": n, "notJudged": n, "skipped": n, "stopped": true|false}
QString reportJson(const BatchReport& report);

// What --json calls a test's verdict: "good", "bad" or "not-tested".
QString testVerdictName(ItemResult result);

} // namespace kelmar::cli
