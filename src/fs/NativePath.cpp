#include "fs/NativePath.h"

#include "fs/NativeName.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace kelmar::fs {

bool isFolderPath(const QString& path)
{
    struct stat st;
    return ::stat(nativeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFilePath(const QString& path)
{
    struct stat st;
    return ::stat(nativeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QString canonicalPath(const QString& path)
{
    char resolved[PATH_MAX];
    if (!::realpath(nativeName(path).constData(), resolved))
        return QString();
    return nameFromNative(QByteArray(resolved));
}

bool makeFolders(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (isFolderPath(path))
        return true;
    const qsizetype slash = path.lastIndexOf(u'/', path.endsWith(u'/') ? -2 : -1);
    if (slash > 0 && !makeFolders(path.left(slash)))
        return false;
    return ::mkdir(nativeName(path).constData(), 0777) == 0 ||
           (errno == EEXIST && isFolderPath(path));
}

} // namespace kelmar::fs
