// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "names/NameOrder.h"
#include "names/basMain.h"

#include <QSet>

#include <algorithm>
#include <csignal>

namespace kelmar::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int signal)
{
    g_interrupted.store(true);
    std::signal(signal, SIG_DFL);
}

} // namespace

std::atomic<bool>& interruptFlag()
{
    return g_interrupted;
}

void installInterruptHandler()
{
    // A terminal closed under the run (SIGHUP) and a shutdown or `kill` (SIGTERM) are asked
    // to stop as Ctrl+C is: no archive starts after it, and none is left half-written.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, onInterrupt);
}

void ignoreClosedOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
}

int usage(QTextStream& err, const QString& message)
{
    err << "kelmar-cli: " << message << "\nTry 'kelmar-cli --help'.\n";
    err.flush();
    return kExitUsage;
}

QStringList filesIn(const QString& folder)
{
    QStringList names;
    fs::listFolderFiles(folder, &names);
    // The window's order: which file wins a name during renames must not depend on the front end.
    sortFileNames(names);
    return names;
}

QStringList archivesIn(const QString& folder)
{
    QStringList result;
    for (const QString& n : filesIn(folder)) {
        if (basMain::HasZipExtension(n))
            result.append(n);
    }
    return result;
}

bool groupPaths(const QStringList& paths, const FolderLister& listFolder,
                bool (*accept)(const QString& fileName), const QString& refusal,
                std::vector<Group>& groups, int* missing, QTextStream& err)
{
    // Names already in each group: a folder of 30,000 files must not be searched once a name.
    std::vector<QSet<QString>> seen(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i)
        seen[i] = QSet<QString>(groups[i].names.cbegin(), groups[i].names.cend());
    auto add = [&](const QString& folder, const QString& name) {
        std::size_t i = 0;
        while (i < groups.size() && groups[i].folder != folder)
            ++i;
        if (i == groups.size()) {
            groups.push_back({folder, {}});
            seen.emplace_back();
        }
        if (!seen[i].contains(name)) {
            seen[i].insert(name);
            groups[i].names.append(name);
        }
    };
    for (const QString& p : paths) {
        const QString absolute = fs::absolutePath(p);
        if (fs::isFolderPath(p)) {
            const QStringList names = listFolder(absolute);
            if (names.isEmpty())
                add(absolute, QString()); // the group exists, so an empty folder can be reported
            for (const QString& n : names)
                add(absolute, n);
        } else if (fs::isFilePath(p)) {
            const QString name = basMain::GetFileName(absolute);
            if (accept && !accept(name)) {
                usage(err, QStringLiteral("'%1' %2").arg(fs::displayName(p), refusal));
                return false;
            }
            const QString folder = absolute.left(absolute.lastIndexOf(u'/'));
            add(folder.isEmpty() ? QStringLiteral("/") : folder, name);
        } else {
            err << "kelmar-cli: '" << fs::displayName(p) << "' does not exist\n";
            err.flush();
            ++*missing;
        }
    }
    for (Group& g : groups)
        g.names.removeAll(QString());
    return true;
}

bool archiveGroups(const QStringList& paths, const char* command, const RunFlags& flags,
                   std::vector<Group>& groups, int* total, int* missing, QTextStream& err)
{
    if (paths.isEmpty()) {
        usage(
            err,
            QStringLiteral("%1 needs at least one archive or folder").arg(QLatin1String(command)));
        return false;
    }
    const FolderLister lister =
        folderLister(flags, archivesIn, basMain::HasZipExtension, missing, err);
    if (!groupPaths(paths, lister, basMain::HasZipExtension,
                    QStringLiteral("is not a .zip file"), groups, missing, err))
        return false;
    *total = 0;
    for (const Group& g : groups)
        *total += int(g.names.size());
    return true;
}

int batchExitStatus(int failed, bool stopped)
{
    if (failed > 0)
        return kExitBad;
    return stopped ? kExitNotTested : kExitGood;
}

bool forEachFolder(const std::vector<Group>& groups, const char* what, QTextStream& err,
                   const std::function<void(const BatchFiles& files)>& batch)
{
    for (const Group& g : groups) {
        if (interruptFlag().load())
            return false;
        if (g.names.isEmpty()) {
            err << "kelmar-cli: no " << what << " in " << g.folder << '\n';
            err.flush();
            continue;
        }
        batch(BatchFiles{g.folder, g.names});
    }
    return true;
}

} // namespace kelmar::cli
