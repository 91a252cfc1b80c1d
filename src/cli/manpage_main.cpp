// SPDX-License-Identifier: GPL-3.0-or-later
// Writes kelmar-cli's manual page from its template and the commands' own descriptions, so
// that the page says what --help says. Run by the build; not installed.
#include "cli/CommandList.h"
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: kelmar-cli-manpage TEMPLATE OUT\n";
        return 2;
    }
    // An option the page could not describe fails the build, not the user.
    for (const kelmar::cli::Command& c : kelmar::cli::commands()) {
        for (const kelmar::cli::CliOption& option : c.help().options) {
            if (option.help.isEmpty() || option.takesValue == option.valueName.isEmpty()) {
                err << "kelmar-cli " << c.name << ' ' << option.names.join(QStringLiteral(", "))
                    << ": no help text, or no placeholder for its value\n";
                return 1;
            }
        }
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        err << "cannot read " << args[1] << '\n';
        return 1;
    }
    const QString page = kelmar::cli::manualPage(QString::fromUtf8(in.readAll()));
    QFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(page.toUtf8()) < 0 || !out.flush()) {
        err << "cannot write " << args[2] << '\n';
        return 1;
    }
    return 0;
}
