// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OptionTable.h"

#include "cli/Commands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace kelmar::cli {

CliOption CliOption::described(const QString& text) const
{
    CliOption option = *this;
    option.help = text;
    return option;
}

CliOption CliOption::described(const QString& value, const QString& text) const
{
    CliOption option = described(text);
    option.valueName = value;
    return option;
}

CliOption cliSwitch(const QStringList& names, const std::function<void()>& set)
{
    return {names, false, QString(),
            [set](const QString&) {
                set();
                return QString();
            },
            QString(), QString()};
}

CliOption cliValue(const QString& name, const QString& whenMissing,
                   const std::function<QString(const QString& value)>& apply)
{
    return {{name}, true, whenMissing, apply, QString(), QString()};
}

CliOption levelOption(Options& options)
{
    const QString refusal = QStringLiteral("--level needs a number from 0 to 9");
    return cliValue(QStringLiteral("--level"), refusal, [&options, refusal](const QString& v) {
        bool ok = false;
        const int level = v.toInt(&ok);
        if (!ok || level < 0 || level > 9)
            return refusal;
        options.sliCompression = level;
        return QString();
    });
}

CliOption caseOption(const QString& name, const QString& refusal, CaseChoice* field)
{
    return cliValue(name, refusal, [field, refusal](const QString& v) {
        if (v == u"lower")
            *field = UseLowerCase;
        else if (v == u"upper")
            *field = UseUpperCase;
        else if (v == u"original")
            *field = UseOriginalCase;
        else
            return refusal;
        return QString();
    });
}

namespace {

CliOption passwordOption(const QString& name, Check* enabled, QString* password, bool allowEmpty)
{
    const QString refusal = name + QStringLiteral(" needs a value");
    return cliValue(name, refusal, [=](const QString& v) {
        if (v.isEmpty() && !allowEmpty)
            return refusal;
        *enabled = Check::Ticked;
        *password = v;
        return QString();
    });
}

} // namespace

CliOption zipPasswordOption(Options& options)
{
    return passwordOption(QStringLiteral("--password"), &options.chkZIPPassword,
                          &options.txtZIPPassword, false);
}

CliOption unzipPasswordOption(const QString& name, Options& options, bool allowEmpty)
{
    return passwordOption(name, &options.chkUnzipPassword, &options.txtUnzipPassword, allowEmpty);
}

namespace {

// The option as the parser knows it: its names without their dashes.
QCommandLineOption parserOption(const CliOption& option)
{
    QStringList names;
    for (const QString& name : option.names)
        names.append(name.mid(name.startsWith(QStringLiteral("--")) ? 2 : 1));
    QCommandLineOption parsed(names);
    if (option.takesValue)
        parsed.setValueName(option.valueName.isEmpty() ? QStringLiteral("VALUE")
                                                       : option.valueName);
    return parsed;
}

} // namespace

QString typedArgument(const QStringList& args, const QString& name)
{
    for (const QString& a : args) {
        if (a == u"--")
            break;
        const QString bare = a.mid(a.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (a.startsWith(u'-') && (bare == name || bare.startsWith(name + u'=')))
            return a;
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

namespace {

// Why the parser refused args, in the words kelmar-cli has always used.
QString refusalOf(const QCommandLineParser& parser, const QStringList& args, const char* command,
                  const OptionTable& table)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
        return QStringLiteral("unknown option '%1' for %2")
            .arg(typedArgument(args, unknown.first()), QLatin1String(command));
    // The parser's other refusals: a value missing after an option, or one given to a switch.
    for (const CliOption& option : table) {
        for (const QString& name : option.names) {
            const QString quoted = u'\'' + name + u'\'';
            if (!parser.errorText().contains(quoted))
                continue;
            if (option.takesValue)
                return option.whenMissing;
            return QStringLiteral("unknown option '%1' for %2")
                .arg(typedArgument(args, name.mid(name.startsWith(QStringLiteral("--")) ? 2 : 1)),
                     QLatin1String(command));
        }
    }
    return parser.errorText();
}

} // namespace

bool parseOptions(const QStringList& args, const char* command, const OptionTable& table,
                  QStringList* paths, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    std::vector<QCommandLineOption> parsed;
    for (const CliOption& option : table) {
        parsed.push_back(parserOption(option));
        parser.addOption(parsed.back());
    }
    // The parser takes the program's name first; the names keep every byte, as decoded.
    if (!parser.parse(QStringList{QLatin1String(command)} + args)) {
        usage(err, refusalOf(parser, args, command, table));
        return false;
    }
    // Options act in the order given, so that the last of two opposites wins.
    std::vector<int> taken(table.size(), 0);
    for (const QString& name : parser.optionNames()) {
        for (size_t i = 0; i < table.size(); ++i) {
            if (!parsed[i].names().contains(name))
                continue;
            const QStringList values = parser.values(parsed[i]);
            const QString value = table[i].takesValue ? values.value(taken[i]++) : QString();
            const QString refusal = table[i].apply(value);
            if (!refusal.isEmpty()) {
                usage(err, refusal);
                return false;
            }
            break;
        }
    }
    *paths += parser.positionalArguments();
    return true;
}

} // namespace kelmar::cli
