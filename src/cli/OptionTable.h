// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <vector>

namespace kelmar::cli {

// One option of a command. A switch is given alone ("--yes"); an option with a value takes
// it as "--name VALUE" or "--name=VALUE". apply gets the value (empty for a switch) and
// returns an empty text, or the usage error to print.
struct CliOption
{
    QStringList names;
    bool takesValue = false;
    QString whenMissing; // the usage error when the value is absent
    std::function<QString(const QString& value)> apply;
    QString valueName; // the value's placeholder in the help ("N", "DIR", "lower|upper|original")
    QString help;      // what the option does: one paragraph, wrapped where it is printed

    // This option with its help (and, for an option with a value, its placeholder).
    CliOption described(const QString& text) const;
    CliOption described(const QString& value, const QString& text) const;
};
using OptionTable = std::vector<CliOption>;

CliOption cliSwitch(const QStringList& names, const std::function<void()>& set);
CliOption cliValue(const QString& name, const QString& whenMissing,
                   const std::function<QString(const QString& value)>& apply);

// --level N: 0 to 9, into the compression slider's value.
CliOption levelOption(Options& options);
// name lower|upper|original, into one of the case combos' choices.
CliOption caseOption(const QString& name, const QString& refusal, CaseChoice* field);
// --password PW for the archives written (the zip password); an empty one is refused.
CliOption zipPasswordOption(Options& options);
// name PW for the archives read (the unzip password); an empty one only when allowEmpty.
CliOption unzipPasswordOption(const QString& name, Options& options, bool allowEmpty);

// Reads a command's arguments against its table, in any order: options, and the PATHs
// (every argument that does not start with "-", "-" alone, and all after "--"). Returns
// false after printing the usage error: "unknown option 'X' for COMMAND", a missing value,
// or what an option's apply said.
// The argument the user typed for the option name that the parser refused ("--name" or
// "--name=value", as typed), so that a message names what is on the command line.
QString typedArgument(const QStringList& args, const QString& name);

bool parseOptions(const QStringList& args, const char* command, const OptionTable& table,
                  QStringList* paths, QTextStream& err);

} // namespace kelmar::cli
