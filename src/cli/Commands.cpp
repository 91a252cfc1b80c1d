#include "cli/Commands.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <csignal>

namespace kelmar::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

std::atomic<bool>& interruptFlag()
{
    return g_interrupted;
}

void installInterruptHandler()
{
    std::signal(SIGINT, onInterrupt);
}

int usage(QTextStream& err, const QString& message)
{
    err << "kelmar-cli: " << message << "\nTry 'kelmar-cli --help'.\n";
    err.flush();
    return kExitUsage;
}

QStringList filesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::NoSort);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

QStringList archivesIn(const QString& folder)
{
    QStringList result;
    for (const QString& n : filesIn(folder)) {
        if (n.right(4).toLower() == u".zip")
            result.append(n);
    }
    return result;
}

bool groupPaths(const QStringList& paths, QStringList (*listFolder)(const QString&),
                bool (*accept)(const QString& fileName), const QString& refusal,
                std::vector<Group>& groups, QTextStream& err)
{
    auto groupFor = [&](const QString& folder) -> Group& {
        for (Group& g : groups) {
            if (g.folder == folder)
                return g;
        }
        groups.push_back({folder, {}});
        return groups.back();
    };
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (info.isDir()) {
            Group& g = groupFor(QDir::cleanPath(info.absoluteFilePath()));
            for (const QString& n : listFolder(info.absoluteFilePath())) {
                if (!g.names.contains(n))
                    g.names.append(n);
            }
        } else if (info.isFile()) {
            if (accept && !accept(info.fileName())) {
                usage(err, QStringLiteral("'%1' %2").arg(p, refusal));
                return false;
            }
            Group& g = groupFor(info.absolutePath());
            if (!g.names.contains(info.fileName()))
                g.names.append(info.fileName());
        } else {
            usage(err, QStringLiteral("'%1' does not exist").arg(p));
            return false;
        }
    }
    return true;
}

bool optionValue(const QStringList& args, int& i, const QString& name, QString& value,
                 bool* missing)
{
    const QString& a = args.at(i);
    *missing = false;
    if (a.startsWith(name + u'=')) {
        value = a.mid(name.size() + 1);
        return true;
    }
    if (a != name)
        return false;
    if (i + 1 >= args.size()) {
        *missing = true;
        return true;
    }
    value = args.at(++i);
    return true;
}

} // namespace kelmar::cli
