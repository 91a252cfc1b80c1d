// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/SafeOutput.h"

#include "fs/KelmarTemp.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"

#include <QSet>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kelmar::fs {

namespace {

int flushOne(const QByteArray& path, int flags)
{
    const FdGuard fd(::open(path.constData(), flags | O_CLOEXEC));
    if (!fd)
        return errno;
    return ::fsync(fd.get()) != 0 ? errno : 0;
}

// The folder that holds path's name, as a native path.
QByteArray nativeFolderOf(const QByteArray& nativePath)
{
    const qsizetype slash = nativePath.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : nativePath.left(slash);
}

} // namespace

WriteFault writeFaultOf(int systemError)
{
    switch (systemError) {
    case 0:
        return WriteFault::None;
    case ENOSPC:
    case EDQUOT:
        return WriteFault::DiskFull;
    case EFBIG:
        return WriteFault::FileTooLarge;
    case EACCES:
    case EPERM:
        return WriteFault::Permission;
    case EROFS:
        return WriteFault::ReadOnly;
    default:
        return WriteFault::Other;
    }
}

int writeAll(int fd, const char* data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        done += n;
    }
    return 0;
}

int flushFile(const QByteArray& nativePath)
{
    return flushOne(nativePath, O_RDONLY);
}

int flushFolder(const QByteArray& nativeFolder)
{
    return flushOne(nativeFolder, O_RDONLY | O_DIRECTORY);
}

int flushFileAndFolder(const QString& path)
{
    const QByteArray native = nativeName(absolutePath(path));
    if (const int error = flushFile(native))
        return error;
    return flushFolder(nativeFolderOf(native));
}

int syncFileSystemOf(const QString& folder)
{
    const FdGuard fd(::open(nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return errno ? errno : EIO;
    return ::syncfs(fd.get()) == 0 ? 0 : errno;
}

int FlushGroup::flush(QString* failedPath)
{
    const QStringList files = std::exchange(m_files, {});
    QList<QByteArray> folders;
    QSet<QByteArray> seen;
    for (const QString& file : files) {
        const QByteArray native = nativeName(absolutePath(file));
        if (const int error = flushFile(native)) {
            if (failedPath)
                *failedPath = file;
            return error;
        }
        const QByteArray folder = nativeFolderOf(native);
        if (!seen.contains(folder)) {
            seen.insert(folder);
            folders.append(folder);
        }
    }
    for (const QByteArray& folder : folders) {
        if (const int error = flushFolder(folder)) {
            if (failedPath)
                *failedPath = nameFromNative(folder);
            return error;
        }
    }
    return 0;
}

SafeOutput::SafeOutput(const QString& target, Form form)
    : m_target(target), m_nativeTarget(nativeName(target)), m_form(form)
{
}

SafeOutput::~SafeOutput()
{
    discard();
}

int SafeOutput::begin()
{
    m_lock = createLockedTemp(nativeFolderOf(m_nativeTarget), &m_claim, &m_createdMode);
    if (!m_lock)
        return errno ? errno : EIO;
    if (m_form == Form::Direct) {
        // The lock stays on a second descriptor until the file has its name or is gone, so
        // the one written through can be closed (and its errors seen) before the rename.
        m_output.reset(::fcntl(m_lock.get(), F_DUPFD_CLOEXEC, 0));
        return m_output ? 0 : errno;
    }
    const QByteArray work = workFileOf(m_claim);
    FdGuard fd(
        ::open(work.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd)
        return errno;
    m_work = work;
    return fd.close();
}

int SafeOutput::finishWriting()
{
    return m_output.close();
}

int SafeOutput::flush()
{
    if (m_form == Form::Direct && m_lock)
        return ::fsync(m_lock.get()) != 0 ? errno : 0;
    return flushFile(path());
}

int SafeOutput::commitNew(bool flushFolderNow)
{
    // Direct: by the descriptor, whatever has been put under the temporary name meanwhile.
    const int set = m_form == Form::Direct ? ::fchmod(m_lock.get(), m_createdMode)
                                           : ::chmod(path().constData(), m_createdMode);
    if (set != 0)
        return errno;
    if (!renameNoReplace(nameFromNative(path()), m_target))
        return errno;
    m_committed = true;
    return flushFolderNow ? flushFolder(nativeFolderOf(m_nativeTarget)) : 0;
}

int SafeOutput::commitReplacing(const PathStatus& before)
{
    const std::optional<PathStatus> now = statOfNative(m_nativeTarget, Links::Follow);
    if (!now || now->identity != before.identity)
        return kTargetChanged;
    if (::chmod(path().constData(), before.permissions) != 0)
        return errno;
    if (::chown(path().constData(), before.owner, before.group) != 0) {
        // Only root may give a file away; anyone else's new copy is their own already.
    }
    if (::rename(path().constData(), m_nativeTarget.constData()) != 0)
        return errno;
    m_committed = true;
    // The rename itself must survive a crash too.
    return flushFolder(nativeFolderOf(m_nativeTarget));
}

void SafeOutput::discard()
{
    m_output.reset();
    if (!m_committed && !path().isEmpty())
        ::unlink(path().constData());
    // The claim last, still locked: while it is there, nobody takes the work file for a
    // leftover. A committed Direct claim is the target now.
    if (m_form == Form::WorkFile && !m_claim.isEmpty())
        ::unlink(m_claim.constData());
    m_lock.reset();
    m_claim.clear();
    m_work.clear();
}

} // namespace kelmar::fs
