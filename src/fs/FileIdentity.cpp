#include "fs/FileIdentity.h"

#include "fs/Path.h"

#include <sys/stat.h>

namespace kelmar::fs {

FileIdentity FileIdentity::of(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

} // namespace kelmar::fs
