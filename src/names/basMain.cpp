#include "names/basMain.h"

#include "fs/NativeName.h"
#include "names/Wildcard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace basMain {

namespace {

QChar separator()
{
    return QDir::separator();
}

// A leading dot hides a file on POSIX; this also covers "." and "..".
bool isHiddenName(QStringView name)
{
    return name.startsWith(u'.');
}

bool isHiddenName(const char* name)
{
    return name[0] == '.';
}

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Closes a descriptor on every way out of a scope.
class FdGuard
{
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// The names in the open folder fd, "." and ".." left out. Takes over fd; on failure errno
// tells why.
bool readNames(int fd, std::vector<QByteArray>& names)
{
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        errno = code;
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    const int code = errno;
    ::closedir(dir);
    errno = code;
    return code == 0;
}

// Empties and removes the folder `name` inside parentFd. Every step works relative to an
// open folder descriptor opened with O_NOFOLLOW, so a link swapped in while we run cannot
// lead the deletion out of the tree.
bool deleteTree(int parentFd, const QByteArray& name, const QString& path, QString* error)
{
    FdGuard folder(
        ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) {
        const int code = errno;
        setError(error,
                 QStringLiteral("Could not open the folder \"%1\": %2").arg(path, errnoText(code)));
        return false;
    }
    std::vector<QByteArray> names;
    if (!readNames(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0), names)) {
        const int code = errno;
        setError(error,
                 QStringLiteral("Could not list the folder \"%1\": %2").arg(path, errnoText(code)));
        return false;
    }

    for (const QByteArray& entry : names) {
        // Hidden entries are not part of the listing and stay; removing the folder then
        // fails below, which tells the caller.
        if (isHiddenName(entry.constData()))
            continue;
        const QString entryPath = path + separator() + kelmar::fs::nameFromNative(entry);
        struct stat st;
        if (::fstatat(folder.get(), entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int code = errno;
            if (code == ENOENT)
                continue; // gone meanwhile: nothing left to delete
            setError(
                error,
                QStringLiteral("Could not examine \"%1\": %2").arg(entryPath, errnoText(code)));
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!deleteTree(folder.get(), entry, entryPath, error))
                return false;
            continue;
        }
        // Root may delete anything, so the permission bits themselves decide what counts as
        // read-only. A link carries no permissions of its own and is always removed as a link.
        if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) {
            setError(
                error,
                QStringLiteral("Could not delete \"%1\": the file is read-only.").arg(entryPath));
            return false;
        }
        if (::unlinkat(folder.get(), entry.constData(), 0) != 0) {
            const int code = errno;
            setError(error,
                     QStringLiteral("Could not delete \"%1\": %2").arg(entryPath, errnoText(code)));
            return false;
        }
    }

    ::close(folder.release());
    if (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) != 0) {
        const int code = errno;
        setError(
            error,
            QStringLiteral("Could not remove the folder \"%1\": %2").arg(path, errnoText(code)));
        return false;
    }
    return true;
}

} // namespace

QString StripExtension(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == u'.')
            return path.left(i);
        if (path[i] == separator())
            return path;
    }
    return path;
}

QString GetExtension(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == u'.')
            return path.mid(i);
        if (path[i] == separator())
            return QString();
    }
    // Callers rely on a bare name without a dot coming back whole.
    return path;
}

QString GetFileName(const QString& path)
{
    const qsizetype at = path.lastIndexOf(separator());
    return at < 0 ? path : path.mid(at + 1);
}

QString WithSeparator(const QString& folder)
{
    return folder.endsWith(separator()) ? folder : folder + separator();
}

QString GetShortPath(const QString& path)
{
    return QFileInfo::exists(path) ? path : QString();
}

QString MakeTempName(QString& folder)
{
    if (!folder.endsWith(separator()))
        folder += separator();
    for (int n = 1; n <= 999; ++n) {
        const QString candidate = folder + QStringLiteral("~temp%1.tmp").arg(n);
        if (!FileExists(candidate))
            return candidate;
    }
    return QString();
}

QString RemoveInvalidChars(QString& name)
{
    static const char16_t invalid[] = u"\\/:*?<>|\"";
    for (const char16_t* c = invalid; *c; ++c)
        name.remove(QChar(*c));
    return QString();
}

QString TrimAtNull(const QString& text)
{
    const qsizetype at = text.indexOf(QChar(u'\0'));
    return at < 0 ? QString() : text.left(at);
}

bool FileExists(const QString& pathOrPattern)
{
    const qsizetype at = pathOrPattern.lastIndexOf(separator());
    const QString last = at < 0 ? pathOrPattern : pathOrPattern.mid(at + 1);
    if (last.isEmpty() || isHiddenName(last))
        return false;

    struct stat st;
    if (!kelmar::hasWildcards(last)) {
        // stat, not lstat: a link to a file counts as that file, a link to a folder does not.
        return ::stat(kelmar::fs::nativeName(pathOrPattern).constData(), &st) == 0 &&
               !S_ISDIR(st.st_mode);
    }

    // Wildcards in the folder part are taken literally, as the folder's real name.
    QString folder = at < 0 ? QStringLiteral(".") : pathOrPattern.left(at);
    if (folder.isEmpty())
        folder = separator();
    FdGuard guard(
        ::open(kelmar::fs::nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<QByteArray> names;
    if (guard.get() < 0 || !readNames(::fcntl(guard.get(), F_DUPFD_CLOEXEC, 0), names))
        return false;
    for (const QByteArray& entry : names) {
        if (isHiddenName(entry.constData()))
            continue;
        if (!kelmar::wildcardMatch(last, kelmar::fs::nameFromNative(entry)))
            continue;
        if (::fstatat(guard.get(), entry.constData(), &st, 0) == 0 && !S_ISDIR(st.st_mode))
            return true;
    }
    return false;
}

bool HasZipExtension(const QString& name)
{
    return name.right(4).toLower() == u".zip";
}

bool IsListedFile(const QString& path)
{
    if (isHiddenName(GetFileName(path)))
        return false;
    struct stat st;
    return ::stat(kelmar::fs::nativeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool NameTaken(const QString& path)
{
    struct stat st;
    return ::lstat(kelmar::fs::nativeName(path).constData(), &st) == 0;
}

bool DeleteFolderTree(const QString& folder, QString* error)
{
    // A trailing separator would make the system look through a link; the link itself is
    // what has to be examined.
    QString path = folder;
    while (path.size() > 1 && path.endsWith(separator()))
        path.chop(1);
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No folder was given to delete."));
        return false;
    }
    const QByteArray encoded = kelmar::fs::nativeName(path);
    struct stat st;
    if (::lstat(encoded.constData(), &st) != 0) {
        const int code = errno;
        setError(
            error,
            QStringLiteral("Could not delete the folder \"%1\": %2").arg(path, errnoText(code)));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        // A link standing for the folder: what it points to belongs to someone else.
        if (::unlink(encoded.constData()) != 0) {
            const int code = errno;
            setError(
                error,
                QStringLiteral("Could not delete the link \"%1\": %2").arg(path, errnoText(code)));
            return false;
        }
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(
            error,
            QStringLiteral("Could not delete the folder \"%1\": it is not a folder.").arg(path));
        return false;
    }
    return deleteTree(AT_FDCWD, encoded, path, error);
}

} // namespace basMain
