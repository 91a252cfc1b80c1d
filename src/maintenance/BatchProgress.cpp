// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/BatchProgress.h"

#include "fs/Path.h"

namespace kelmar {

QString BatchFiles::path(int i) const
{
    return fs::withSeparator(folder) + names.at(i);
}

QString batchCountText(const BatchCount& count, const QLocale& locale)
{
    // The C locale leaves out group separators unless told otherwise.
    QLocale grouping = locale;
    grouping.setNumberOptions(grouping.numberOptions() & ~QLocale::OmitGroupSeparator);
    return count.doing + u' ' + grouping.toString(count.done) + QStringLiteral(" of ") +
           grouping.toString(count.total);
}

} // namespace kelmar
