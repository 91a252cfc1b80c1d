// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/KelmarTemp.h"

#include "fs/NativeName.h"

#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelmar::fs {

namespace {

constexpr char kPrefix[] = ".kelmar-";
constexpr int kPrefixLength = sizeof(kPrefix) - 1;
constexpr int kRandomLength = 6;
constexpr int kClaimLength = kPrefixLength + kRandomLength;
constexpr char kWork[] = ".new";
constexpr int kWorkLength = sizeof(kWork) - 1;

bool isAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool randomRun(const char* s)
{
    for (int i = 0; i < kRandomLength; ++i) {
        if (!isAlnum(s[i]))
            return false;
    }
    return true;
}

bool isClaim(const QByteArray& name)
{
    return name.size() == kClaimLength && name.startsWith(kPrefix) &&
           randomRun(name.constData() + kPrefixLength);
}

// The claim a dependent belongs to, or empty: "C.new", or libzip's "C.new.XXXXXX".
QByteArray claimOfDependent(const QByteArray& name)
{
    if (name.size() < kClaimLength + kWorkLength || !isClaim(name.left(kClaimLength)) ||
        name.mid(kClaimLength, kWorkLength) != kWork)
        return {};
    const qsizetype rest = name.size() - kClaimLength - kWorkLength;
    if (rest == 0 || (rest == 1 + kRandomLength && name.at(kClaimLength + kWorkLength) == '.' &&
                      randomRun(name.constData() + kClaimLength + kWorkLength + 1)))
        return name.left(kClaimLength);
    return {};
}

QByteArray randomName()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name(kPrefix);
    for (int i = 0; i < kRandomLength; ++i)
        name.append(alphabet[QRandomGenerator::system()->bounded(62)]);
    return name;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the regular file name in dir, unless it is no longer the file `was` (when given).
bool removeRegular(int dir, const QByteArray& name, const struct stat* was = nullptr)
{
    struct stat st;
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (was && !sameFile(st, *was))
        return false;
    return ::unlinkat(dir, name.constData(), 0) == 0;
}

// Notes the mode the kernel gave a file just created as 0666 (0666 less the umask, or what
// the folder's default ACL says) and keeps the file to its owner until it is complete.
void takeCreatedMode(const FdGuard& fd, mode_t* createdMode)
{
    struct stat st;
    if (createdMode)
        *createdMode = ::fstat(fd.get(), &st) == 0 ? (st.st_mode & 07777) : mode_t(0644);
    ::fchmod(fd.get(), 0600);
}

// Unnamed first, locked, and only then given a name: no other Kelmar ever sees the name
// without the lock on it, and nobody else can open it before it is the owner's alone.
FdGuard createUnnamedFirst(const QByteArray& folder, const QByteArray& base, QByteArray* path,
                           mode_t* createdMode)
{
    FdGuard fd(::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    takeCreatedMode(fd, createdMode);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = base + randomName();
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            *path = candidate;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

// A file system without unnamed files (or no /proc): named at once, locked and made the
// owner's right after, while it is still empty.
FdGuard createNamed(const QByteArray& base, QByteArray* path, mode_t* createdMode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = base + randomName();
        FdGuard fd(::open(candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666));
        if (fd) {
            ::flock(fd.get(), LOCK_EX | LOCK_NB);
            takeCreatedMode(fd, createdMode);
            *path = candidate;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

} // namespace

FdGuard createLockedTemp(const QByteArray& folder, QByteArray* path, mode_t* createdMode)
{
    const QByteArray base = folder.endsWith('/') ? folder : folder + '/';
    FdGuard fd = createUnnamedFirst(folder, base, path, createdMode);
    if (fd)
        return fd;
    return createNamed(base, path, createdMode);
}

QByteArray workFileOf(const QByteArray& claimPath)
{
    return claimPath + kWork;
}

int removeStaleTemps(const QString& folder)
{
    const FdGuard dir(::open(nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return 0;
    std::vector<QByteArray> claims;
    std::map<QByteArray, std::vector<QByteArray>> dependents; // by claim
    {
        const int listing = ::fcntl(dir.get(), F_DUPFD_CLOEXEC, 0);
        DIR* d = listing >= 0 ? ::fdopendir(listing) : nullptr;
        if (!d) {
            if (listing >= 0)
                ::close(listing);
            return 0;
        }
        while (const dirent* e = ::readdir(d)) {
            const QByteArray name(e->d_name);
            if (!name.startsWith(kPrefix))
                continue;
            if (isClaim(name))
                claims.push_back(name);
            else if (const QByteArray claim = claimOfDependent(name); !claim.isEmpty())
                dependents[claim].push_back(name);
        }
        ::closedir(d);
    }
    int removed = 0;
    for (const QByteArray& claim : claims) {
        struct stat before;
        if (::fstatat(dir.get(), claim.constData(), &before, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(before.st_mode))
            continue;
        const FdGuard fd(::openat(dir.get(), claim.constData(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened;
        if (!fd || ::fstat(fd.get(), &opened) != 0 || !sameFile(before, opened))
            continue;
        // Held: a running Kelmar is writing it. Anything else (EWOULDBLOCK or a file system
        // that cannot lock) leaves it alone too.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            dependents.erase(claim);
            continue;
        }
        // Its owner is gone; the claim goes last, so a later run still finds what it claims.
        for (const QByteArray& name : dependents[claim])
            removed += removeRegular(dir.get(), name) ? 1 : 0;
        dependents.erase(claim);
        removed += removeRegular(dir.get(), claim, &opened) ? 1 : 0;
    }
    // Work files whose claim is gone: their owner removed the claim only after them, or died.
    for (const auto& [claim, names] : dependents) {
        struct stat st;
        if (::fstatat(dir.get(), claim.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ||
            errno != ENOENT)
            continue; // a claim that appeared since the listing: its owner is alive
        for (const QByteArray& name : names)
            removed += removeRegular(dir.get(), name) ? 1 : 0;
    }
    return removed;
}

} // namespace kelmar::fs
