// SPDX-License-Identifier: GPL-3.0-or-later
// Every command of kelmar-cli, and the pages made from their descriptions: --help and the
// manual page.
#include "cli/CommandList.h"

#include "cli/Commands.h"

#include <QStringList>

namespace kelmar::cli {

namespace {

const char* const kHeader =
    R"HELP(Usage: kelmar-cli [--settings FILE] [--jobs N] COMMAND [OPTIONS] PATH...
       kelmar-cli COMMAND --help
       kelmar-cli --version

Kelmar's batch operations from the command line, over the same code and the same
settings as the Kelmar window.

Commands:
)HELP";

const char* const kHelpCommand =
    R"HELP(  help      Show this text; "help COMMAND" shows that command's part alone.
)HELP";

const char* const kFooter =
    R"HELP(Options that a command does not get as flags come from the saved settings, as
the window's settings tabs left them, except where its section says otherwise.

Compression methods read by test and unzip: Store, Deflate, Deflate64, BZip2,
LZMA, XZ and Zstandard, in plain, ZipCrypto and AES-encrypted entries. PPMd is
not read (no Debian library decodes it): such an archive could not be tested.

Output: log lines on stdout, closed by one summary line ("Tested 40,000
archives: 39,990 good, 10 bad (set aside), 0 could not be tested"); a
progress line on stderr when stderr is a terminal; messages on stderr.
Every command takes -q (errors and the summary line only), -v (a line per
item) and --json (one document instead of the log), and --files-from FILE
(-0: NUL-separated) for more PATHs; those that list folders take -r.
When stdout is closed early (a pipe into "head"), the batch goes on to its
end without printing, and exits with its status. Ctrl+C, SIGTERM and
SIGHUP stop the run as the window's Stop does: no archive starts after
them, none is left half-written, and the exit status is 3 when nothing
failed before.
A PATH that does not exist is reported on stderr and skipped; the other
PATHs are done all the same, and the exit status is then 1.
Exit status 2 always means a usage error (unknown option, no PATH).
)HELP";

// The lines of the manual page that stand for what the program describes itself.
const char* const kGlobalOptionsMark = R"(.\" generated: global options)";
const char* const kCommandsMark = R"(.\" generated: commands)";

} // namespace

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
        {"test", runTest, testHelp},
        {"zip", runZip, zipHelp},
        {"folders-to-zips", runFoldersToZips, foldersToZipsHelp},
        {"unzip", runUnzip, unzipHelp},
        {"space", runSpace, spaceHelp},
        {"delete", runDelete, deleteHelp},
        {"rezip", runRezip, rezipHelp},
        {"remove-non-roms", runRemoveNonRoms, removeNonRomsHelp},
        {"attributes", runAttributes, attributesHelp},
        {"rename", runRename, renameHelp},
        {"dat", runDat, datHelp},
    };
    return list;
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : commands()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

const std::vector<GlobalOption>& globalOptions()
{
    static const std::vector<GlobalOption> list = {
        {{QStringLiteral("settings")}, QStringLiteral("FILE"),
         QStringLiteral("Read options from this INI file instead of the user's settings "
                        "(~/.config/kelmar/kelmar.ini, or under $XDG_CONFIG_HOME).")},
        {{QStringLiteral("jobs")}, QStringLiteral("N"),
         QStringLiteral("Work on N archives at once (default: one per processor core). The log, "
                        "the renames and the deletions are those of a run one archive after "
                        "another.")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QString(),
         QStringLiteral("Show the help of every command; after a command, that command's "
                        "part alone.")},
        {{QStringLiteral("version")}, QString(), QStringLiteral("Show the version.")},
    };
    return list;
}

namespace {

HelpSection globalOptionsSection()
{
    HelpSection section{QStringLiteral("Global options:"), {}, QString()};
    for (const GlobalOption& option : globalOptions()) {
        QStringList names;
        for (const QString& name : option.names)
            names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString term = names.join(QStringLiteral(", "));
        if (!option.valueName.isEmpty())
            term += u' ' + option.valueName;
        section.items.push_back({term, option.help});
    }
    return section;
}

} // namespace

QString helpPage()
{
    QString page = QLatin1String(kHeader);
    for (const Command& c : commands())
        page += plainHelp(c.name, c.help()) + u'\n';
    page += QLatin1String(kHelpCommand) + u'\n' + plainSection(globalOptionsSection()) + u'\n' +
            QLatin1String(kFooter);
    return page;
}

QString commandHelpPage(const Command& c)
{
    return QStringLiteral("Usage: kelmar-cli [--settings FILE] %1 [OPTIONS] PATH...\n\n")
               .arg(QLatin1String(c.name)) +
           plainHelp(c.name, c.help()) +
           QStringLiteral("\nGlobal options (before the command): --settings FILE.\n"
                          "Options not given as flags come from the saved settings unless said "
                          "otherwise.\n");
}

QString manualPage(const QString& pageTemplate)
{
    QStringList lines = pageTemplate.split(u'\n');
    for (QString& line : lines) {
        if (line == QLatin1String(kGlobalOptionsMark)) {
            line = roffItems(globalOptionsSection().items);
            line.chop(1);
        } else if (line == QLatin1String(kCommandsMark)) {
            line.clear();
            for (const Command& c : commands())
                line += roffHelp(c.name, c.help());
            line += QStringLiteral(".SS help\n") +
                    roffText(QStringLiteral("Show the help of every command, or with a COMMAND "
                                            "that command's help alone."));
        }
    }
    return lines.join(u'\n');
}

} // namespace kelmar::cli
