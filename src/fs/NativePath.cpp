// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/NativePath.h"

#include "fs/NativeName.h"
#include "fs/PathStatus.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h> // mkdir
#include <unistd.h>

namespace kelmar::fs {

bool isFolderPath(const QString& path)
{
    return isDirectory(path, Links::Follow);
}

bool isFilePath(const QString& path)
{
    return isRegularFile(path, Links::Follow);
}

bool pathExists(const QString& path)
{
    return statOf(path, Links::DoNotFollow).has_value();
}

QString absolutePath(const QString& path)
{
    if (path.startsWith(u'/'))
        return QDir::cleanPath(path);
    QByteArray folder(PATH_MAX, '\0');
    while (!::getcwd(folder.data(), size_t(folder.size()))) {
        if (errno != ERANGE)
            return QDir::cleanPath(path);
        folder.resize(folder.size() * 2);
    }
    folder.truncate(qsizetype(std::strlen(folder.constData())));
    return QDir::cleanPath(nameFromNative(folder) + u'/' + path);
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

int makeFolder(const QString& path)
{
    return ::mkdir(nativeName(path).constData(), 0777) == 0 ? 0 : errno;
}

} // namespace kelmar::fs
