// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveReplacement.h"

#include "archive/ZipError.h"
#include "fs/FdGuard.h"
#include "fs/NativePath.h"
#include "fs/Path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace kelmar {

ArchiveReplacement::ArchiveReplacement(const QString& archivePath) : m_archivePath(archivePath) {}

ArchiveReplacement::~ArchiveReplacement() = default;

int ArchiveReplacement::fail(int code, const QString& detail)
{
    m_detail = detail;
    return code;
}

const QByteArray& ArchiveReplacement::tempPath() const
{
    static const QByteArray none;
    return m_copy ? m_copy->path() : none;
}

int ArchiveReplacement::begin()
{
    // By its bytes: Qt's canonical path decodes a name that is not UTF-8 lossily, and the
    // archive would not be found.
    m_path = fs::canonicalPath(m_archivePath);
    if (m_path.isEmpty())
        return fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
    m_before = fs::statOf(m_path, fs::Links::Follow);
    if (!m_before)
        return fail(ZipFileNotFound, m_archivePath + QStringLiteral(": ") + fs::systemError(errno));
    m_copy.emplace(m_path, fs::SafeOutput::Form::WorkFile);
    if (const int err = m_copy->begin()) {
        const QString folder = m_path.left(qMax<qsizetype>(1, m_path.lastIndexOf(u'/')));
        return fail(zipResultOfWrite(err),
                    folder + QStringLiteral(": cannot create a temporary file: ") +
                        fs::systemError(err));
    }
    return ZipOk;
}

int ArchiveReplacement::flush()
{
    if (const int err = m_copy->flush())
        return fail(zipResultOfWrite(err), fs::fileNameOf(m_path) +
                                               QStringLiteral(" (new copy): ") +
                                               fs::systemError(err));
    return ZipOk;
}

int ArchiveReplacement::commit()
{
    const int err = m_copy->commitReplacing(*m_before);
    if (err == fs::SafeOutput::kTargetChanged)
        return fail(ZipWriteError,
                    m_archivePath + QStringLiteral(": changed while it was being rebuilt"));
    // Once renamed, the new copy is the archive whatever the folder's flush said.
    if (err != 0 && !m_copy->committed())
        return fail(zipResultOfWrite(err),
                    m_archivePath + QStringLiteral(": ") + fs::systemError(err));
    return ZipOk;
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
            err = fs::writeAll(out, buffer.data(), n);
        }
    }
    const int closeError = output.close();
    return err != 0 ? err : closeError;
}

} // namespace kelmar
