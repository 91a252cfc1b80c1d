#include "archive/ArchiveReplacement.h"

#include "archive/ZipError.h"
#include "fs/FdGuard.h"
#include "fs/FileIdentity.h"
#include "fs/KelmarTemp.h"
#include "fs/NativeName.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace kelmar {

namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

int syncPath(const QByteArray& path, int flags)
{
    const fs::FdGuard fd(::open(path.constData(), flags | O_CLOEXEC));
    if (!fd)
        return errno;
    return ::fsync(fd.get()) != 0 ? errno : 0;
}

} // namespace

ArchiveReplacement::ArchiveReplacement(const QString& archivePath) : m_archivePath(archivePath) {}

ArchiveReplacement::~ArchiveReplacement()
{
    if (!m_temp.isEmpty() && !m_committed)
        ::unlink(m_temp.constData());
    // The claim last, still locked: while it is there, nobody takes the copy for a leftover.
    if (!m_claim.isEmpty())
        ::unlink(m_claim.constData());
}

int ArchiveReplacement::fail(int code, const QString& detail)
{
    m_detail = detail;
    return code;
}

int ArchiveReplacement::writeFailure(int err)
{
    return err == ENOSPC || err == EDQUOT || err == EFBIG ? ZipDiskFull : ZipWriteError;
}

int ArchiveReplacement::begin()
{
    m_path = QFileInfo(m_archivePath).canonicalFilePath();
    if (m_path.isEmpty())
        return fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
    m_native = fs::nativeName(m_path);
    if (::stat(m_native.constData(), &m_before) != 0)
        return fail(ZipFileNotFound, m_archivePath + QStringLiteral(": ") + systemError(errno));
    const QString folder = QFileInfo(m_path).absolutePath();
    QByteArray claim;
    m_claimLock = fs::createLockedTemp(fs::nativeName(folder), &claim);
    int err = m_claimLock ? 0 : errno;
    if (m_claimLock) {
        m_claim = claim;
        const QByteArray work = fs::workFileOf(claim);
        const fs::FdGuard fd(
            ::open(work.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd)
            m_temp = work;
        else
            err = errno;
    }
    if (err != 0)
        return fail(writeFailure(err), folder +
                                           QStringLiteral(": cannot create a temporary file: ") +
                                           systemError(err));
    return ZipOk;
}

int ArchiveReplacement::commit()
{
    const std::optional<fs::FileIdentity> now = fs::FileIdentity::ofPath(m_native, true);
    if (!now || *now != fs::FileIdentity::fromStat(m_before))
        return fail(ZipWriteError,
                    m_archivePath + QStringLiteral(": changed while it was being rebuilt"));
    if (::chmod(m_temp.constData(), m_before.st_mode & 07777) != 0)
        return fail(ZipWriteError, m_archivePath + QStringLiteral(": ") + systemError(errno));
    if (::chown(m_temp.constData(), m_before.st_uid, m_before.st_gid) != 0) {
        // Only root may give a file away; anyone else's new copy is their own already.
    }
    if (::rename(m_temp.constData(), m_native.constData()) != 0) {
        const int err = errno;
        return fail(writeFailure(err), m_archivePath + QStringLiteral(": ") + systemError(err));
    }
    m_committed = true;
    // The rename itself must survive a crash too.
    syncPath(fs::nativeName(QFileInfo(m_path).absolutePath()), O_RDONLY | O_DIRECTORY);
    return ZipOk;
}

int ArchiveReplacement::syncFile(const QByteArray& path)
{
    return syncPath(path, O_RDONLY);
}

int ArchiveReplacement::writeEmptyArchive(const QByteArray& path, const QByteArray& comment)
{
    QByteArray record("PK\x05\x06", 4);
    record.append(16, '\0');
    const quint16 length = quint16(qMin<qsizetype>(comment.size(), 0xFFFF));
    record.append(char(length & 0xFF));
    record.append(char(length >> 8));
    record.append(comment.left(length));
    fs::FdGuard fd(::open(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd)
        return errno;
    int err = 0;
    if (::write(fd.get(), record.constData(), size_t(record.size())) != ssize_t(record.size()))
        err = errno != 0 ? errno : EIO;
    const int closeError = fd.close();
    return err != 0 ? err : closeError;
}

int ArchiveReplacement::copyContent(const QByteArray& from, const QByteArray& to)
{
    const fs::FdGuard input(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (!input)
        return errno;
    fs::FdGuard output(::open(to.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!output)
        return errno;
    const int in = input.get();
    const int out = output.get();
    int err = 0;
    bool fallback = false;
    // The kernel copies, and may share the blocks where the file system can.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0)
            continue;
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            fallback = true;
        else
            err = errno;
        break;
    }
    if (fallback) {
        std::vector<char> buffer(64 * 1024);
        ::lseek(in, 0, SEEK_SET);
        if (::ftruncate(out, 0) != 0 || ::lseek(out, 0, SEEK_SET) != 0)
            err = errno;
        while (err == 0) {
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                err = n < 0 ? errno : 0;
                break;
            }
            for (ssize_t written = 0; written < n && err == 0;) {
                const ssize_t w = ::write(out, buffer.data() + written, size_t(n - written));
                if (w < 0 && errno != EINTR)
                    err = errno;
                else if (w > 0)
                    written += w;
            }
        }
    }
    const int closeError = output.close();
    return err != 0 ? err : closeError;
}

} // namespace kelmar
