#pragma once

#include <QString>
#include <QStringList>

namespace kelmar::test {

// What kelmar-cli printed and how it ended (-1 when it crashed or hung).
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs kelmar-cli with its settings under home (never the user's own), stdin closed and the C
// locale. With fileLimitKiB, under that file-size limit and with SIGXFSZ ignored, so a write
// past it fails instead of killing the program.
CliRun cli(const QStringList& args, const QString& home, int fileLimitKiB = 0);

} // namespace kelmar::test
