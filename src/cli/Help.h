// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/OptionTable.h"

#include <QString>

#include <vector>

// What kelmar-cli says about itself. Each command describes itself once, with its option
// table; --help, "help COMMAND", the manual page and (through --help) the shell completion are
// all printed from that one description, so they cannot disagree.
namespace kelmar::cli {

struct HelpItem
{
    QString term; // "PATH", "0"
    QString text;
};

// A part of a command's description: a heading ("Arguments of zip:") over items, and a
// paragraph after them. Without a heading it is a paragraph of the description.
struct HelpSection
{
    QString heading;
    std::vector<HelpItem> items;
    QString prose;
};

struct CommandHelp
{
    QString summary;                    // what the command does, first
    std::vector<HelpSection> before;    // paragraphs and sections before the options
    QString optionsHeading;             // "Options of zip (defaults from ...):"; none when empty
    OptionTable options;                // the table the command parses its arguments with
    QString afterOptions;               // a paragraph after the options
    std::vector<HelpSection> after;     // sections after the options (exit status last)
};

// "Arguments of COMMAND:": PATH, an archive or a folder of archives.
HelpSection archiveArguments(const char* command);
// "Exit status of COMMAND:" over its items ("0", what it means).
HelpSection exitStatus(const char* command, std::vector<HelpItem> items);
// "3  stopped (Ctrl+C, SIGTERM, SIGHUP), and nothing failed before"
HelpItem stoppedStatus();

// The items of a table: each option's names and placeholder, and its help.
std::vector<HelpItem> optionItems(const OptionTable& table);

// The command's section of --help: "  NAME      summary", then its parts, wrapped to 80
// columns.
QString plainHelp(const char* name, const CommandHelp& help);

// A section of text wrapped to 80 columns: items with their texts aligned.
QString plainSection(const HelpSection& section);

// The command's part of the manual page, in roff: ".SS NAME" and what follows.
QString roffHelp(const char* name, const CommandHelp& help);

// A section's items as roff ".TP" paragraphs (option names bold, placeholders in italics).
QString roffItems(const std::vector<HelpItem>& items);

// Text made safe for roff: backslashes, dashes, and a leading dot or quote.
QString roffText(const QString& text);

} // namespace kelmar::cli
