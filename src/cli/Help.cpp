// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Help.h"

#include <QStringList>

#include <algorithm>

namespace kelmar::cli {

namespace {

constexpr int kWidth = 80;
constexpr int kLongestAlignedTerm = 21; // a longer term stands on a line of its own

// text's words in lines of at most kWidth columns, each indented by indent; the first line
// continues after firstUsed columns already printed.
QString wrapped(const QString& text, int indent, int firstUsed)
{
    QString result;
    int used = firstUsed;
    const QString pad(indent, u' ');
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (used > indent && used + 1 + int(word.size()) > kWidth) {
            result += u'\n' + pad;
            used = indent;
        } else if (used > indent) {
            result += u' ';
            ++used;
        } else if (used < indent) {
            result += QString(indent - used, u' ');
            used = indent;
        }
        result += word;
        used += int(word.size());
    }
    return result + u'\n';
}

// Every paragraph of text ("\n\n" between them) wrapped.
QString paragraphs(const QString& text, int indent)
{
    QString result;
    for (const QString& p : text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        result += (result.isEmpty() ? QString() : QStringLiteral("\n")) + wrapped(p, indent, 0);
    return result;
}

QString plainItems(const std::vector<HelpItem>& items)
{
    int longest = 0;
    for (const HelpItem& item : items) {
        if (item.term.size() <= kLongestAlignedTerm)
            longest = std::max(longest, int(item.term.size()));
    }
    const int column = 2 + longest + 2;
    QString result;
    for (const HelpItem& item : items) {
        QString line = QStringLiteral("  ") + item.term;
        if (item.text.isEmpty()) {
            result += line + u'\n';
            continue;
        }
        if (line.size() + 2 > column) {
            result += line + u'\n';
            line.clear();
        }
        result += line + wrapped(item.text, column, int(line.size()));
    }
    return result;
}

// "\fB--to\fR \fIDIR\fR, ...": the option names of a term bold, their placeholders italic.
QString roffTerm(const QString& term)
{
    QStringList parts;
    for (const QString& alternative : term.split(QStringLiteral(", "))) {
        QStringList words;
        for (const QString& word : alternative.split(u' ', Qt::SkipEmptyParts)) {
            // Options and fixed words bold; placeholders (DIR, OUT.zip, lower|upper) italic.
            const bool placeholder = !word.startsWith(u'-') &&
                                     (word == word.toUpper() || word.contains(u'|'));
            const bool numeral = !word.isEmpty() && word.front().isDigit();
            words.append((placeholder && !numeral ? QStringLiteral("\\fI") : QStringLiteral("\\fB")) +
                         roffText(word) + QStringLiteral("\\fR"));
        }
        parts.append(words.join(u' '));
    }
    return parts.join(QStringLiteral(", "));
}

QString roffParagraphs(const QString& text)
{
    QString result;
    for (const QString& p : text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        result += QStringLiteral(".PP\n") + roffText(p.simplified()) + u'\n';
    return result;
}

QString roffSection(const HelpSection& section)
{
    QString result;
    if (!section.heading.isEmpty())
        result += QStringLiteral(".PP\n") + roffText(section.heading) + u'\n';
    result += roffItems(section.items);
    if (!section.prose.isEmpty())
        result += roffParagraphs(section.prose);
    return result;
}

} // namespace

HelpSection archiveArguments(const char* command)
{
    return {QStringLiteral("Arguments of %1:").arg(QLatin1String(command)),
            {{QStringLiteral("PATH"),
              QStringLiteral("An archive, or a folder meaning every file in it whose name ends "
                             "in \".zip\" (in any case; hidden files are not taken, and subfolders "
                             "are searched only with -r).")}},
            QString()};
}

HelpSection exitStatus(const char* command, std::vector<HelpItem> items)
{
    return {QStringLiteral("Exit status of %1:").arg(QLatin1String(command)), std::move(items),
            QString()};
}

HelpItem stoppedStatus()
{
    return {QStringLiteral("3"),
            QStringLiteral("stopped (Ctrl+C, SIGTERM, SIGHUP), and nothing failed before")};
}

std::vector<HelpItem> optionItems(const OptionTable& table)
{
    std::vector<HelpItem> items;
    for (const CliOption& option : table) {
        QString term = option.names.join(QStringLiteral(", "));
        if (!option.valueName.isEmpty())
            term += u' ' + option.valueName;
        items.push_back({term, option.help});
    }
    return items;
}

QString plainSection(const HelpSection& section)
{
    QString result;
    if (!section.heading.isEmpty())
        result += wrapped(section.heading, 0, 0);
    result += plainItems(section.items);
    if (!section.prose.isEmpty()) {
        const bool alone = !section.heading.isEmpty() && section.items.empty();
        result += paragraphs(section.prose, alone ? 2 : 0);
    }
    return result;
}

QString plainHelp(const char* name, const CommandHelp& help)
{
    const QString title = QStringLiteral("  ") + QLatin1String(name);
    constexpr int kSummaryColumn = 12;
    QString result = title.size() + 2 > kSummaryColumn ? title + u'\n' : title;
    result += wrapped(help.summary, kSummaryColumn,
                      title.size() + 2 > kSummaryColumn ? 0 : int(title.size()));
    for (const HelpSection& section : help.before)
        result += u'\n' + plainSection(section);
    if (!help.optionsHeading.isEmpty()) {
        result += u'\n' + plainSection({help.optionsHeading, optionItems(help.options),
                                        help.afterOptions});
    }
    for (const HelpSection& section : help.after)
        result += u'\n' + plainSection(section);
    return result;
}

QString roffText(const QString& text)
{
    QString result = text;
    result.replace(u'\\', QStringLiteral("\\e"));
    result.replace(u'-', QStringLiteral("\\-"));
    if (result.startsWith(u'.') || result.startsWith(u'\''))
        result.prepend(QStringLiteral("\\&"));
    return result;
}

QString roffItems(const std::vector<HelpItem>& items)
{
    QString result;
    for (const HelpItem& item : items) {
        result += QStringLiteral(".TP\n") + roffTerm(item.term) + u'\n';
        result += roffText(item.text.simplified()) + u'\n';
    }
    return result;
}

QString roffHelp(const char* name, const CommandHelp& help)
{
    QString result = QStringLiteral(".SS ") + roffText(QLatin1String(name)) + u'\n';
    result += roffText(help.summary.simplified()) + u'\n';
    for (const HelpSection& section : help.before)
        result += roffSection(section);
    if (!help.optionsHeading.isEmpty())
        result += roffSection({help.optionsHeading, optionItems(help.options), help.afterOptions});
    for (const HelpSection& section : help.after)
        result += roffSection(section);
    return result;
}

} // namespace kelmar::cli
