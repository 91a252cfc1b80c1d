#include "fs/FolderListing.h"

#include "fs/NativeName.h"

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

} // namespace kelmar::fs
