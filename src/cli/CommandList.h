// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar::cli {

struct Command;

// An option given before the command, as QCommandLineParser takes it (names without dashes).
struct GlobalOption
{
    QStringList names;
    QString valueName; // empty for a switch
    QString help;
};
const std::vector<GlobalOption>& globalOptions();

// "kelmar-cli --help": every command's part, the global options and what they all share.
QString helpPage();
// "kelmar-cli COMMAND --help".
QString commandHelpPage(const Command& c);
// The manual page: pageTemplate with its marked lines replaced by the global options and the
// commands, as their tables describe them.
QString manualPage(const QString& pageTemplate);

} // namespace kelmar::cli
