// kelmar-cli zip and folders-to-zips.
#include "cli/Commands.h"

namespace kelmar::cli {

const char* const kZipHelp = "";

int runZip(const QStringList&, const Options&, QTextStream&, QTextStream& err)
{
    return usage(err, QStringLiteral("zip is not available yet"));
}

int runFoldersToZips(const QStringList&, const Options&, QTextStream&, QTextStream& err)
{
    return usage(err, QStringLiteral("folders-to-zips is not available yet"));
}

} // namespace kelmar::cli
