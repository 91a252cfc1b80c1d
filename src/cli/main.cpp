// kelmar-cli: Kelmar's batch operations for scripts and for collections too large to click
// through. Same core, same settings store as the window.
#include "cli/Commands.h"
#include "fs/NativeName.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>

#include <cstring>

using namespace kelmar;
using namespace kelmar::cli;

namespace {

const char* const kHeader = R"HELP(Usage: kelmar-cli [--settings FILE] COMMAND [OPTIONS] PATH...

Kelmar's batch operations from the command line, over the same code and the same
settings as the Kelmar window.

Commands:
)HELP";

const char* const kFooter = R"HELP(  help      Show this text.

Global options:
  --settings FILE  Read options from this INI file instead of the user's settings
                   (~/.config/kelmar/kelmar.ini, or under $XDG_CONFIG_HOME).
  -h, --help       Show this text.

Options that a command does not get as flags come from the saved settings, as
the window's settings tabs left them, except where its section says otherwise.

Output: log lines on stdout; a progress line on stderr when stderr is a
terminal; messages on stderr. Ctrl+C stops after the archive in hand.
Exit status 2 always means a usage error (unknown option, missing PATH).
)HELP";

const Command kCommands[] = {
    {"test", runTest},   {"zip", runZip},     {"folders-to-zips", runFoldersToZips},
    {"unzip", runUnzip}, {"space", runSpace}, {"delete", runDelete},
    {"rezip", runRezip}, {"remove-non-roms", runRemoveNonRoms}, {"attributes", runAttributes},
    {"rename", runRename},
};

void printHelp(QTextStream& out)
{
    out << kHeader;
    for (const char* section : {kTestHelp, kZipHelp, kUnzipHelp, kRebuildHelp, kRenameHelp}) {
        if (*section)
            out << section << '\n';
    }
    out << kFooter;
    out.flush();
}

} // namespace

int main(int argc, char** argv)
{
    // libzip turns every entry's DOS time into a time_t through mktime, and with TZ unset
    // glibc stats /etc/localtime on each call to see whether it changed: one system call per
    // archive that listing 30,000 archives can do without. Naming the file fixes the zone for
    // the run, which is what a batch wants anyway.
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmar"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    // Qt decodes arguments lossily; a path of bytes that are not UTF-8 must open again.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(fs::nameFromNative(argv[i], qsizetype(std::strlen(argv[i]))));
    QString settingsFile;
    while (!args.isEmpty() && args.first().startsWith(u'-')) {
        const QString a = args.takeFirst();
        if (a == u"-h" || a == u"--help") {
            printHelp(out);
            return kExitGood;
        }
        if (a == u"--settings") {
            if (args.isEmpty())
                return usage(err, QStringLiteral("--settings needs a file"));
            settingsFile = args.takeFirst();
        } else if (a.startsWith(u"--settings=")) {
            settingsFile = a.mid(11);
        } else {
            return usage(err, QStringLiteral("unknown option '%1'").arg(a));
        }
    }
    if (args.isEmpty())
        return usage(err, QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == u"help" || args.contains(QStringLiteral("--help")) ||
        args.contains(QStringLiteral("-h"))) {
        printHelp(out);
        return kExitGood;
    }
    if (!settingsFile.isEmpty() && !QFileInfo(settingsFile).isFile())
        return usage(err, QStringLiteral("settings file '%1' does not exist").arg(settingsFile));
    const auto settings = settingsFile.isEmpty() ? SettingsStore::openUserSettings()
                                                 : SettingsStore::openSettingsFile(settingsFile);
    const Options saved = SettingsStore::loadOptions(*settings);

    for (const Command& c : kCommands) {
        if (command == QLatin1String(c.name))
            return c.run(args, saved, out, err);
    }
    return usage(err, QStringLiteral("unknown command '%1'").arg(command));
}
