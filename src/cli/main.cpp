// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli: Kelmar's batch operations for scripts and for collections too large to click
// through. Same core, same settings store as the window.
#include "Version.h"
#include "cli/CommandList.h"
#include "cli/Commands.h"
#include "cli/OptionTable.h"
#include "fs/NativeName.h"
#include "settings/SettingsStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>

#include <csignal>
#include <optional>

#include <cstring>

using namespace kelmar;
using namespace kelmar::cli;

namespace {

void printHelp(QTextStream& out)
{
    out << helpPage();
    out.flush();
}

void printCommandHelp(QTextStream& out, const Command& c)
{
    out << commandHelpPage(c);
    out.flush();
}

// What comes before the command.
struct GlobalOptions
{
    bool help = false;
    bool version = false;
    QString settingsFile;
    int jobs = 0;       // 0: one worker per processor core
    QStringList command; // the command and its own arguments
};

// Reads the global options, up to the command; what follows the command is the command's.
// Nothing when they are wrong, after printing why (the exit status is then kExitUsage).
std::optional<GlobalOptions> parseGlobalOptions(const QStringList& args, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    for (const GlobalOption& option : globalOptions())
        parser.addOption(QCommandLineOption(option.names, option.help, option.valueName));
    const QString help = QStringLiteral("help");
    const QString version = QStringLiteral("version");
    const QString settings = QStringLiteral("settings");
    const QString jobs = QStringLiteral("jobs");
    const QString jobsRefusal = QStringLiteral("--jobs needs a number of at least 1");
    if (!parser.parse(QStringList{QStringLiteral("kelmar-cli")} + args)) {
        if (!parser.unknownOptionNames().isEmpty())
            usage(err, QStringLiteral("unknown option '%1'")
                           .arg(typedArgument(args, parser.unknownOptionNames().first())));
        else if (parser.errorText().contains(QStringLiteral("settings")))
            usage(err, QStringLiteral("--settings needs a file"));
        else
            usage(err, jobsRefusal);
        return std::nullopt;
    }
    GlobalOptions global;
    global.help = parser.isSet(help);
    global.version = parser.isSet(version);
    global.settingsFile = parser.value(settings);
    if (parser.isSet(jobs)) {
        bool ok = false;
        global.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || global.jobs < 1) {
            usage(err, jobsRefusal);
            return std::nullopt;
        }
    }
    global.command = parser.positionalArguments();
    return global;
}

// Runs "help [COMMAND]" or COMMAND with its arguments.
int runCommand(QStringList args, const QString& settingsFile, int jobs, QTextStream& out,
               QTextStream& err)
{
    if (args.isEmpty())
        return usage(err, QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == u"help") {
        if (args.isEmpty()) {
            printHelp(out);
            return kExitGood;
        }
        const Command* c = findCommand(args.first());
        if (!c)
            return usage(err, QStringLiteral("unknown command '%1'").arg(args.first()));
        printCommandHelp(out, *c);
        return kExitGood;
    }
    const Command* c = findCommand(command);
    if (!c)
        return usage(err, QStringLiteral("unknown command '%1'").arg(command));
    // Only before "--": after it, "--help" is a file name.
    const QStringList options = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        printCommandHelp(out, *c);
        return kExitGood;
    }
    if (!settingsFile.isEmpty() && !QFileInfo(settingsFile).isFile())
        return usage(err, QStringLiteral("settings file '%1' does not exist").arg(settingsFile));
    const auto settings = settingsFile.isEmpty() ? SettingsStore::openUserSettings()
                                                 : SettingsStore::openSettingsFile(settingsFile);
    return c->run(args, Context{SettingsStore::loadOptions(*settings), jobs}, out, err);
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
    // A file-size limit (ulimit -f) would kill the program mid-write and leave a temporary
    // file behind; ignored, the write fails with EFBIG and that archive fails as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    ignoreClosedOutput();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmar"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    // Qt decodes arguments lossily; a path of bytes that are not UTF-8 must open again.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(fs::nameFromNative(argv[i], qsizetype(std::strlen(argv[i]))));
    const std::optional<GlobalOptions> global = parseGlobalOptions(args, err);
    if (!global)
        return kExitUsage;
    if (global->help) {
        printHelp(out);
        return kExitGood;
    }
    if (global->version) {
        out << "kelmar-cli " KELMAR_VERSION "\n";
        out.flush();
        return kExitGood;
    }
    return runCommand(global->command, global->settingsFile, global->jobs, out, err);
}
