// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class QProcess;

namespace kelmar::test {

// What kelmar-cli printed and how it ended (-1 when it crashed or hung).
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs kelmar-cli with its settings under home (never the user's own), stdin closed and the C
// locale. With fileLimitKiB, under that file-size limit; SIGXFSZ keeps its default action, so
// kelmar-cli must itself make a write past the limit fail instead of dying.
CliRun cli(const QStringList& args, const QString& home, int fileLimitKiB = 0);

// The environment cli() gives kelmar-cli: settings under home, the C locale.
QProcessEnvironment cliEnvironment(const QString& home);

// Starts kelmar-cli as cli() does, without waiting: for a test that acts on the running
// process (signals), then collects what it printed with finishCli.
void startCli(QProcess& process, const QStringList& args, const QString& home);
CliRun finishCli(QProcess& process);

// As cli(), with input on its standard input.
CliRun cliWithInput(const QStringList& args, const QString& home, const QByteArray& input);

// The same with arguments as bytes, which need not be UTF-8: QProcess would pass its own
// encoding of them, so each goes through bash's $'\xHH' quoting instead.
CliRun cliBytes(const QList<QByteArray>& args, const QString& home);

} // namespace kelmar::test
