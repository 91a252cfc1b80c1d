// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/basMain.h"

#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"
#include "names/Wildcard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h> // fstatat: each name asked by the folder it was read from
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
    return kelmar::fs::withSeparator(folder);
}

QString MakeTempName(QString& folder)
{
    folder = WithSeparator(folder);
    for (int n = 1; n <= 999; ++n) {
        const QString candidate = folder + QStringLiteral("~temp%1.tmp").arg(n);
        if (!FileExists(candidate))
            return candidate;
    }
    return QString();
}

namespace {

// The characters no file name may hold on the systems archives travel to.
const QString& invalidChars()
{
    static const QString invalid = QStringLiteral("\\/:*?<>|\"");
    return invalid;
}

} // namespace

QString RemoveInvalidChars(QString& name)
{
    for (const QChar c : invalidChars())
        name.remove(c);
    return QString();
}

bool HoldsInvalidChars(const QString& name)
{
    for (const QChar c : name) {
        if (invalidChars().contains(c))
            return true;
    }
    return false;
}

bool FileExists(const QString& pathOrPattern)
{
    const qsizetype at = pathOrPattern.lastIndexOf(separator());
    const QString last = at < 0 ? pathOrPattern : pathOrPattern.mid(at + 1);
    if (last.isEmpty() || isHiddenName(last))
        return false;

    if (!kelmar::hasWildcards(last)) {
        // Links followed: a link to a file counts as that file, a link to a folder does not.
        const auto st = kelmar::fs::statOf(pathOrPattern, kelmar::fs::Links::Follow);
        return st && st->kind != kelmar::fs::FileKind::Folder;
    }

    // Wildcards in the folder part are taken literally, as the folder's real name.
    QString folder = at < 0 ? QStringLiteral(".") : pathOrPattern.left(at);
    if (folder.isEmpty())
        folder = separator();
    kelmar::fs::FdGuard guard(
        ::open(kelmar::fs::nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<QByteArray> names;
    if (guard.get() < 0 || !readNames(::fcntl(guard.get(), F_DUPFD_CLOEXEC, 0), names))
        return false;
    struct stat st;
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
    return kelmar::fs::isRegularFile(path, kelmar::fs::Links::Follow);
}

bool NameTaken(const QString& path)
{
    return kelmar::fs::statOf(path, kelmar::fs::Links::DoNotFollow).has_value();
}

} // namespace basMain
