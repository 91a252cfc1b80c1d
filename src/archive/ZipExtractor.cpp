// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ZipExtractor.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryMask.h"
#include "archive/EntryName.h"
#include "archive/ZipError.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/SafeOutput.h"

#include <QFileInfo>
#include <QStringList>

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h> // S_IFMT, S_IFLNK: the Unix mode bits an entry's attributes carry
#include <sys/types.h>
#include <unistd.h>

namespace kelmar {

namespace {

// The entry's name as a relative path below the destination. Backslashes count as
// separators; "." and empty components, a leading "/" and a drive letter are dropped: such
// names are unusual, not dangerous. A name with a ".." component, which would leave the
// destination, or with a control character is refused: the result is empty and *why says so.
QString safeRelativePath(const QString& stored, QString* why)
{
    QString name = stored;
    name.replace(u'\\', u'/');
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            *why = QStringLiteral("its name holds a control character");
            return QString();
        }
    }
    // A drive letter or a leading "/" is dropped, as unzip does: the rest lands inside.
    if (name.size() >= 2 && name.at(1) == u':' && name.at(0).isLetter())
        name = name.mid(2);
    QStringList kept;
    for (const QString& part : name.split(u'/')) {
        if (part == u"..") {
            *why = QStringLiteral("it leads outside the destination folder");
            return QString();
        }
        if (!part.isEmpty() && part != u".")
            kept.append(part);
    }
    if (kept.isEmpty() && !name.endsWith(u'/'))
        *why = QStringLiteral("an empty name"); // a folder entry "./" is merely nothing to make
    return kept.join(u'/');
}

// The name for a log line: a control character would break the line or hide what follows.
QString printable(const QString& name)
{
    QString shown;
    for (const QChar c : fs::displayName(name)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            shown += c;
    }
    return shown;
}

bool isInside(const QString& canonicalRoot, const QString& canonicalPath)
{
    return canonicalPath == canonicalRoot ||
           canonicalPath.startsWith(fs::withSeparator(canonicalRoot));
}

// Creates root/relative one folder at a time. A component that exists must be a real
// folder: a symbolic link (or anything else) there is never followed, so no folder is ever
// made outside root. Returns 0, ZipUnsafeEntry or ZipWriteError.
int makeFolderInside(const QString& root, const QString& relative)
{
    QString path = root;
    for (const QString& part : relative.split(u'/', Qt::SkipEmptyParts)) {
        path = fs::withSeparator(path) + part;
        if (const auto st = fs::statOf(path, fs::Links::DoNotFollow)) {
            if (st->kind == fs::FileKind::Link)
                return ZipUnsafeEntry;
            if (st->kind != fs::FileKind::Folder)
                return ZipWriteError;
            continue;
        }
        const int made = fs::makeFolder(path);
        if (made != 0 && made != EEXIST)
            return ZipWriteError;
    }
    return ZipOk;
}

} // namespace

ZipExtractor::ZipExtractor(ArchiveReader& reader, const ExtractSettings& settings,
                           ExtractManifest& manifest)
    : m_reader(reader), m_settings(settings), m_manifest(manifest)
{
}

bool ZipExtractor::cancelled() const
{
    return m_settings.cancelled && m_settings.cancelled();
}

int ZipExtractor::stopped()
{
    return m_reader.fail(ZipAborted, QStringLiteral("stopped"));
}

void ZipExtractor::completed(const QString& target, const QString& entryName, qint64 size)
{
    m_manifest.files.push_back(
        {target, entryName, size, fs::FileIdentity::ofPath(fs::nativeName(target))});
    if (m_settings.progress)
        m_settings.progress(target, 100);
}

QString ZipExtractor::extractedPath(const QString& destination, const QString& entryName,
                                    bool keepFolderNames)
{
    if (entryName.endsWith(u'/'))
        return QString();
    QString why;
    const QString relative = safeRelativePath(entryName, &why);
    if (relative.isEmpty())
        return QString();
    return fs::withSeparator(destination) + (keepFolderNames ? relative : fs::fileNameOf(relative));
}

int ZipExtractor::extractEntry(quint64 index, qint64 size, qint64 mtime, const QString& entryName,
                               const QString& target)
{
    if (const auto existing = fs::statOf(target, fs::Links::DoNotFollow))
        return matchExisting(index, size, entryName, target,
                             existing->kind == fs::FileKind::File ? existing->size : -1);

    // The lock on the temporary file stays until it has its name or is gone: a rebuild
    // clearing leftovers in this folder must not take it for one.
    fs::SafeOutput output(target);
    if (const int err = output.begin()) {
        const QString folder = QFileInfo(target).absolutePath();
        return m_reader.fail(zipResultOfWrite(err),
                             fs::displayName(folder) + QStringLiteral(": ") + fs::systemError(err));
    }
    int result = writeEntry(index, size, entryName, output);
    if (result == ZipOk) {
        const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ::futimens(output.fd(), times);
    }
    const int closeError = output.finishWriting();
    if (closeError != 0 && result == ZipOk)
        result = writeFailure(target, closeError);
    // Only a complete, checked copy takes the name, and only while the name is free: a file
    // that appeared meanwhile is never replaced. What is not committed goes with output.
    if (result == ZipOk) {
        const int err = output.commitNew(false);
        if (err == EEXIST)
            result = m_reader.fail(ZipExistsAndDiffers,
                                   fs::displayName(target) + QStringLiteral(" appeared meanwhile"));
        else if (err != 0 && !output.committed())
            result = m_reader.fail(ZipWriteError, fs::displayName(target) + QStringLiteral(": ") +
                                                      fs::systemError(err));
    }
    if (result != ZipOk)
        return result;
    completed(target, entryName, size);
    return ZipOk;
}

int ZipExtractor::writeFailure(const QString& target, int systemError)
{
    return m_reader.fail(zipResultOfWrite(systemError), fs::displayName(target) +
                                                            QStringLiteral(": ") +
                                                            fs::systemError(systemError));
}

int ZipExtractor::writeEntry(quint64 index, qint64 size, const QString& entryName,
                             const fs::SafeOutput& output)
{
    const QString& target = output.target();
    qint64 done = 0;
    int lastPercent = -1;
    auto writeAll = [&](const char* data, qint64 n) {
        // An entry that inflates past the size its directory entry declares is lying; the
        // free-space check counted the declared size, so not one byte more is written.
        if (n > size - done)
            return m_reader.fail(ZipDamaged,
                                 fs::displayName(entryName) +
                                     QStringLiteral(": larger than its directory entry says"));
        if (const int err = fs::writeAll(output.fd(), data, n); err != 0)
            return writeFailure(target, err);
        done += n;
        const int percent = size > 0 ? int(done * 100 / size) : 100;
        if (percent != lastPercent && percent < 100 && m_settings.progress) {
            lastPercent = percent;
            m_settings.progress(target, percent);
        }
        return cancelled() ? stopped() : int(ZipOk);
    };
    return m_reader.readEntry(index, writeAll);
}

int ZipExtractor::matchExisting(quint64 index, qint64 size, const QString& entryName,
                                const QString& target, qint64 existingSize)
{
    // A file of that name is the user's (or an earlier entry's): it stays as it is. When it
    // holds exactly the entry's bytes the entry is on disk all the same; otherwise the entry
    // fails, and the archive with it, so the archive is never deleted.
    const fs::FdGuard fd(existingSize == size ? ::open(fs::nativeName(target).constData(),
                                                       O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                                              : -1);
    const auto differs = [&] {
        return m_reader.fail(ZipExistsAndDiffers,
                             fs::displayName(target) + QStringLiteral(" exists and differs"));
    };
    if (!fd)
        return differs();
    std::vector<char> theirs(size_t(m_reader.bufferSize()));
    auto compare = [&](const char* data, qint64 n) {
        for (qint64 at = 0; at < n;) {
            const ssize_t got = ::read(fd.get(), theirs.data(),
                                       size_t(qMin<qint64>(n - at, qint64(theirs.size()))));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0 || std::memcmp(theirs.data(), data + at, size_t(got)) != 0)
                return int(ZipExistsAndDiffers);
            at += got;
        }
        return cancelled() ? stopped() : int(ZipOk);
    };
    int result = m_reader.readEntry(index, compare);
    char more;
    if (result == ZipOk && ::read(fd.get(), &more, 1) != 0)
        result = ZipExistsAndDiffers;
    if (result == ZipExistsAndDiffers)
        return differs();
    if (result != ZipOk)
        return result;
    completed(target, entryName, size);
    return ZipOk;
}

QString ZipExtractor::prepareEntry(quint64 index, const QString& name, int* result)
{
    zip_t* archive = m_reader.handle();
    const bool isFolder = name.endsWith(u'/');
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    zip_file_get_external_attributes(archive, zip_uint64_t(index), 0, &system, &attributes);
    if (system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK) {
        *result =
            m_reader.fail(ZipUnsafeEntry, name + QStringLiteral(": symbolic link not extracted"));
        return QString();
    }
    QString why;
    QString relative = safeRelativePath(name, &why);
    if (relative.isEmpty()) {
        *result = why.isEmpty()
                      ? int(ZipOk)
                      : m_reader.fail(ZipUnsafeEntry, printable(name) + QStringLiteral(": ") + why);
        return QString();
    }
    *result = ZipOk;
    const bool keep = m_settings.keepFolderNames;
    if (isFolder && !keep)
        return QString();
    if (!keep)
        relative = fs::fileNameOf(relative);
    const qsizetype slash = relative.lastIndexOf(u'/');
    const QString folderPart = isFolder ? relative : relative.left(qMax<qsizetype>(slash, 0));
    const int made = makeFolderInside(m_settings.destination, folderPart);
    if (made != ZipOk) {
        *result = m_reader.fail(made, name + (made == ZipUnsafeEntry
                                                  ? QStringLiteral(": leads through a link")
                                                  : QStringLiteral(": cannot create its folder")));
        return QString();
    }
    if (isFolder)
        return QString();
    const QString target = fs::withSeparator(m_settings.destination) + relative;
    // Belt and braces: the folder the file goes into resolves inside the destination.
    if (!isInside(m_root, fs::canonicalPath(QFileInfo(target).absolutePath()))) {
        *result = m_reader.fail(ZipUnsafeEntry,
                                name + QStringLiteral(": leads outside the destination folder"));
        return QString();
    }
    return target;
}

int ZipExtractor::extract()
{
    const QString& destination = m_settings.destination;
    if (destination.isEmpty() || !fs::makeFolders(destination))
        return m_reader.fail(ZipWriteError, destination + QStringLiteral(": cannot create folder"));
    m_root = fs::canonicalPath(destination);
    zip_t* archive = m_reader.handle();
    const EntryMask mask(m_settings.fileMask);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    int result = ZipOk;
    for (zip_int64_t i = 0; i < count; ++i) {
        if (cancelled()) {
            result = stopped();
            break;
        }
        zip_stat_t st;
        int r = ZipOk;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            r = m_reader.resultOf(zip_get_error(archive), fs::fileNameOf(m_reader.path()));
            result = result == ZipOk ? r : result;
            continue;
        }
        const QString name = entryNameOf(archive, zip_uint64_t(i));
        if (!mask.selects(name))
            continue;
        const QString target = prepareEntry(zip_uint64_t(i), name, &r);
        if (!target.isEmpty())
            r = extractEntry(zip_uint64_t(i), qint64(st.size), qint64(st.mtime), name, target);
        if (r != ZipOk && result == ZipOk)
            result = r;
        if (r == ZipAborted) {
            result = r;
            break;
        }
    }
    return result;
}

} // namespace kelmar
