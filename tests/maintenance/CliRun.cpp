// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/CliRun.h"

#include "common/Tools.h"

#include <QProcess>

namespace kelmar::test {

QProcessEnvironment cliEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return env;
}

void startCli(QProcess& process, const QStringList& args, const QString& home)
{
    expectMayRunPrograms(QStringLiteral("kelmar-cli"));
    process.setProcessEnvironment(cliEnvironment(home));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(KELMAR_CLI), args);
    process.waitForStarted();
}

CliRun finishCli(QProcess& p)
{
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

CliRun cli(const QStringList& args, const QString& home, int fileLimitKiB)
{
    expectMayRunPrograms(QStringLiteral("kelmar-cli"));
    QProcess p;
    p.setProcessEnvironment(cliEnvironment(home));
    p.setStandardInputFile(QProcess::nullDevice());
    if (fileLimitKiB > 0) {
        p.start(QStringLiteral("bash"),
                QStringList{QStringLiteral("-c"),
                            QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(fileLimitKiB),
                            QStringLiteral(KELMAR_CLI)} +
                    args);
    } else {
        p.start(QStringLiteral(KELMAR_CLI), args);
    }
    return finishCli(p);
}

CliRun cliWithInput(const QStringList& args, const QString& home, const QByteArray& input)
{
    expectMayRunPrograms(QStringLiteral("kelmar-cli"));
    QProcess p;
    p.setProcessEnvironment(cliEnvironment(home));
    p.start(QStringLiteral(KELMAR_CLI), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    return finishCli(p);
}

CliRun cliBytes(const QList<QByteArray>& args, const QString& home)
{
    QString script = QStringLiteral("exec \"$0\"");
    for (const QByteArray& arg : args) {
        script += QStringLiteral(" $'");
        for (const char c : arg)
            script += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QChar(u'0'));
        script += u'\'';
    }
    expectMayRunPrograms(QStringLiteral("kelmar-cli"));
    QProcess p;
    p.setProcessEnvironment(cliEnvironment(home));
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("bash"),
            QStringList{QStringLiteral("-c"), script, QStringLiteral(KELMAR_CLI)});
    return finishCli(p);
}

} // namespace kelmar::test
