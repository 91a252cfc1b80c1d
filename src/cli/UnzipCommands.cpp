// kelmar-cli unzip, space and delete.
#include "cli/Commands.h"

namespace kelmar::cli {

const char* const kUnzipHelp = "";

int runUnzip(const QStringList&, const Options&, QTextStream&, QTextStream& err)
{
    return usage(err, QStringLiteral("unzip is not available yet"));
}

int runSpace(const QStringList&, const Options&, QTextStream&, QTextStream& err)
{
    return usage(err, QStringLiteral("space is not available yet"));
}

int runDelete(const QStringList&, const Options&, QTextStream&, QTextStream& err)
{
    return usage(err, QStringLiteral("delete is not available yet"));
}

} // namespace kelmar::cli
