#include "maintenance/BatchProgress.h"

#include "fs/Path.h"

namespace kelmar {

QString BatchFiles::path(int i) const
{
    return fs::withSeparator(folder) + names.at(i);
}

} // namespace kelmar
