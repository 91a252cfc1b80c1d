#include "fs/FileIdentity.h"

#include <QFile>

#include <sys/stat.h>

namespace kelmar::fs {

FileId idOf(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

} // namespace kelmar::fs
