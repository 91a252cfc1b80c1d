// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FolderListing.h"

#include "fs/NativeName.h"
#include "fs/Path.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelmar::fs {

namespace {

enum class Pick { Files, Folders, All };

bool listFolder(const QString& folder, QStringList* names, bool includeHidden, Pick pick,
                int* error)
{
    names->clear();
    DIR* dir = ::opendir(nativeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData());
    if (!dir) {
        if (error)
            *error = errno;
        return false;
    }
    const int fd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' &&
            (!includeHidden || name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool taken = true;
        if (pick == Pick::Files) {
            taken = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st;
                taken = ::fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
        } else if (pick == Pick::Folders) {
            taken = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st;
                taken = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
        }
        if (taken)
            names->append(nameFromNative(name, qsizetype(std::strlen(name))));
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        if (error)
            *error = readError;
        return false;
    }
    return true;
}

} // namespace

bool listFolderFiles(const QString& folder, QStringList* names, bool includeHidden, int* error)
{
    return listFolder(folder, names, includeHidden, Pick::Files, error);
}

bool listSubFolders(const QString& folder, QStringList* names, int* error)
{
    return listFolder(folder, names, false, Pick::Folders, error);
}

bool listFolderNames(const QString& folder, QStringList* names, int* error)
{
    return listFolder(folder, names, true, Pick::All, error);
}

bool listFilesBelow(const QString& folder, QStringList* names, QStringList* unreadable,
                    int* error)
{
    // Breadth first, each folder's files before its sub-folders' ones; the names a folder
    // holds are relative to the top ("snes/Game.zip").
    QStringList pending{QString()};
    bool first = true;
    while (!pending.isEmpty()) {
        const QString relative = pending.takeFirst();
        const QString here = relative.isEmpty() ? folder : withSeparator(folder) + relative;
        const QString prefix = relative.isEmpty() ? QString() : relative + u'/';
        QStringList files;
        QStringList subFolders;
        int code = 0;
        if (!listFolderFiles(here, &files, false, &code) ||
            !listSubFolders(here, &subFolders, &code)) {
            if (first) {
                if (error)
                    *error = code;
                return false;
            }
            unreadable->append(here);
            continue;
        }
        first = false;
        for (const QString& f : files)
            names->append(prefix + f);
        for (const QString& sub : subFolders)
            pending.append(prefix + sub);
    }
    return true;
}

} // namespace kelmar::fs
