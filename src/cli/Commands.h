// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/Help.h"
#include "cli/RunOptions.h"
#include "maintenance/BatchProgress.h"
#include "settings/Options.h"

#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <functional>
#include <vector>

// What the commands of kelmar-cli share: exit codes, Ctrl+C, usage errors and the way
// command-line paths become file lists.
namespace kelmar::cli {

constexpr int kExitGood = 0;
constexpr int kExitBad = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotTested = 3;

// Set by the first Ctrl+C, SIGTERM or SIGHUP once installInterruptHandler has run: the batch
// stops as for Stop and removes what it had half-written. A second one of the same kind ends
// the program at once.
std::atomic<bool>& interruptFlag();
void installInterruptHandler();

// A reader that goes away (`kelmar-cli test DIR | head -1`) must not kill a batch halfway:
// SIGPIPE is ignored, and writes to a closed stdout or stderr fail quietly instead.
void ignoreClosedOutput();

// Prints "kelmar-cli: message" and the hint to --help; returns kExitUsage.
int usage(QTextStream& err, const QString& message);

// The files of a folder that the window's file list would show (not hidden, no folders),
// in its order.
QStringList filesIn(const QString& folder);
// Those of them whose names end in ".zip", in any case.
QStringList archivesIn(const QString& folder);

// The files of one folder, as one file list.
struct Group
{
    QString folder;
    QStringList names;
};

// Groups PATH arguments by folder, in the order given: a file stands for itself, a folder
// for the files listFolder picks from it. A path that does not exist (or is neither a file nor
// a folder) is reported on stderr ("kelmar-cli: 'PATH' does not exist"), counted in *missing
// and left out: the rest of the run goes on, as other tools do, and ends with kExitBad.
// Returns false after printing a usage error: a file that `accept` refuses, with `refusal`
// saying why.
bool groupPaths(const QStringList& paths, const FolderLister& listFolder,
                bool (*accept)(const QString& fileName), const QString& refusal,
                std::vector<Group>& groups, int* missing, QTextStream& err);

// The archives that PATH arguments name, grouped as groupPaths groups them (with -r, a
// folder's group holds the archives below it too); *total counts them and *missing the paths
// that do not exist and the folders that could not be read. Returns false after printing the
// usage error: no PATH ("COMMAND needs at least one archive or folder") or a file not named
// ".zip".
bool archiveGroups(const QStringList& paths, const char* command, const RunFlags& flags,
                   std::vector<Group>& groups, int* total, int* missing, QTextStream& err);

// A batch's exit status: kExitBad when anything failed (a PATH that did not exist counts),
// else kExitNotTested when it was stopped, else kExitGood.
int batchExitStatus(int failed, bool stopped);

// Runs batch once per group, with the group's files. A group without files gets
// "kelmar-cli: no WHAT in FOLDER" on stderr instead. Returns false when Ctrl+C stopped the
// run before a group.
bool forEachFolder(const std::vector<Group>& groups, const char* what, QTextStream& err,
                   const std::function<void(const BatchFiles& files)>& batch);

// What every command starts from: the saved settings, which its flags override, and the
// global options given before it.
struct Context
{
    Options saved;
    int jobs = 0; // --jobs: archives (or threads) at once; 0: one per processor core
};

// One command: its name, its entry point and its description, from which its section of
// --help ("kelmar-cli COMMAND --help" prints it alone) and of the manual page are made.
using Runner = int (*)(const QStringList& args, const Context& context, QTextStream& out,
                       QTextStream& err);
struct Command
{
    const char* name;
    Runner run;
    CommandHelp (*help)();
};

// Every command, in the order --help lists them.
const std::vector<Command>& commands();
const Command* findCommand(const QString& name);

int runTest(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp testHelp();

int runZip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp zipHelp();
int runFoldersToZips(const QStringList& args, const Context& context, QTextStream& out,
                     QTextStream& err);
CommandHelp foldersToZipsHelp();

int runUnzip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp unzipHelp();
int runSpace(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp spaceHelp();
int runDelete(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp deleteHelp();

int runRezip(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp rezipHelp();
int runRemoveNonRoms(const QStringList& args, const Context& context, QTextStream& out,
                     QTextStream& err);
CommandHelp removeNonRomsHelp();
int runAttributes(const QStringList& args, const Context& context, QTextStream& out,
                  QTextStream& err);
CommandHelp attributesHelp();

int runRename(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp renameHelp();

int runDat(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err);
CommandHelp datHelp();

} // namespace kelmar::cli
