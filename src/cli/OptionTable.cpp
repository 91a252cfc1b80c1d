#include "cli/OptionTable.h"

#include "cli/Commands.h"

namespace kelmar::cli {

CliOption cliSwitch(const QStringList& names, const std::function<void()>& set)
{
    return {names, false, QString(), [set](const QString&) {
                set();
                return QString();
            }};
}

CliOption cliValue(const QString& name, const QString& whenMissing,
                   const std::function<QString(const QString& value)>& apply)
{
    return {{name}, true, whenMissing, apply};
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

CliOption caseOption(const QString& name, const QString& refusal, int* field)
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

CliOption passwordOption(const QString& name, int* enabled, QString* password, bool allowEmpty)
{
    const QString refusal = name + QStringLiteral(" needs a value");
    return cliValue(name, refusal, [=](const QString& v) {
        if (v.isEmpty() && !allowEmpty)
            return refusal;
        *enabled = 1;
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

bool parseOptions(const QStringList& args, const char* command, const OptionTable& table,
                  QStringList* paths, QTextStream& err)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == u"--") {
            *paths += args.mid(i + 1);
            return true;
        }
        if (!a.startsWith(u'-') || a.size() == 1) {
            paths->append(a);
            continue;
        }
        const qsizetype equals = a.indexOf(u'=');
        const QString name = equals > 0 ? a.left(equals) : a;
        const CliOption* option = nullptr;
        for (const CliOption& o : table) {
            if (o.names.contains(name) && (o.takesValue || equals < 0)) {
                option = &o;
                break;
            }
        }
        if (!option) {
            usage(err, QStringLiteral("unknown option '%1' for %2").arg(a, QLatin1String(command)));
            return false;
        }
        QString value;
        if (option->takesValue) {
            if (equals > 0) {
                value = a.mid(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args.at(++i);
            } else {
                usage(err, option->whenMissing);
                return false;
            }
        }
        const QString refusal = option->apply(value);
        if (!refusal.isEmpty()) {
            usage(err, refusal);
            return false;
        }
    }
    return true;
}

} // namespace kelmar::cli
