#include "archive/ZipComponent.h"

#include "archive/AesAuthenticator.h"
#include "archive/CompressMask.h"
#include "archive/EntryMask.h"
#include "archive/LocalHeaderCheck.h"
#include "archive/ZipWriter.h"
#include "archive/codec/CompressionMethods.h"
#include "archive/codec/DecodedEntryReader.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "names/Wildcard.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kelmar {

namespace {

// Small enough to stay in the processor's cache between inflating and writing: with 256 KiB
// each write into the page cache cost about twice as much system time per byte, and
// extraction was a fifth slower than 7-Zip's; reading alone did not change.
constexpr size_t kBufferSize = 32 * 1024;

QByteArray native(const QString& path)
{
    return fs::nativeName(path);
}

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString withSlash(const QString& folder)
{
    return fs::withSeparator(folder);
}

bool isDiskFull(int systemError)
{
    return systemError == ENOSPC || systemError == EDQUOT;
}

mode_t creationMode()
{
    // Files are created as 0666 less the umask, like any other program's. The umask is read
    // from /proc: setting it to read it would race with other threads creating files.
    static const mode_t mode = [] {
        mode_t mask = 022;
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        mask = mode_t(value);
                }
            }
        }
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

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
    return canonicalPath == canonicalRoot || canonicalPath.startsWith(withSlash(canonicalRoot));
}

// Creates root/relative one folder at a time. A component that exists must be a real
// folder: a symbolic link (or anything else) there is never followed, so no folder is ever
// made outside root. Returns 0, ZipUnsafeEntry or ZipWriteError.
int makeFolderInside(const QString& root, const QString& relative)
{
    QString path = root;
    for (const QString& part : relative.split(u'/', Qt::SkipEmptyParts)) {
        path = withSlash(path) + part;
        struct stat st;
        if (::lstat(fs::nativeName(path).constData(), &st) == 0) {
            if (S_ISLNK(st.st_mode))
                return ZipUnsafeEntry;
            if (!S_ISDIR(st.st_mode))
                return ZipWriteError;
            continue;
        }
        if (::mkdir(fs::nativeName(path).constData(), 0777) != 0 && errno != EEXIST)
            return ZipWriteError;
    }
    return ZipOk;
}

} // namespace

ZipComponent::ZipComponent(QObject* parent) : QObject(parent) {}

ZipComponent::~ZipComponent() = default;

int ZipComponent::fail(int code, const QString& detail)
{
    if (m_detail.isEmpty())
        m_detail = detail;
    return code;
}

void ZipComponent::reportProgress(const QString& name, qint64 done, qint64 total, int* last)
{
    const int percent = total > 0 ? int(done * 100 / total) : 100;
    if (percent != *last && percent < 100) {
        *last = percent;
        emit fileProgress(name, percent);
    }
}

int ZipComponent::resultOf(const zip_error_t* error, const QString& what)
{
    const int code = zip_error_code_zip(error);
    const int sys = zip_error_code_system(error);
    const QString text =
        what + QStringLiteral(": ") +
        QString::fromLocal8Bit(zip_error_strerror(const_cast<zip_error_t*>(error)));
    switch (code) {
    case ZIP_ER_OK:
        return ZipOk;
    case ZIP_ER_NOENT:
        return fail(ZipFileNotFound, text);
    case ZIP_ER_OPEN:
        return fail(sys == ENOENT ? ZipFileNotFound : ZipReadError, text);
    case ZIP_ER_NOZIP:
        return fail(ZipNotAZip, text);
    case ZIP_ER_INCONS:
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_EOF:
        return fail(ZipDamaged, text);
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return fail(ZipPassword, text);
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_MULTIDISK:
        return fail(ZipUnsupported, text);
    case ZIP_ER_WRITE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_CLOSE:
    case ZIP_ER_REMOVE:
    case ZIP_ER_RDONLY:
        return fail(isDiskFull(sys) ? ZipDiskFull : ZipWriteError, text);
    case ZIP_ER_CANCELLED:
        return fail(ZipAborted, text);
    default:
        return fail(ZipReadError, text);
    }
}

zip_t* ZipComponent::openArchive(int flags, int* result)
{
    // Reading is what Calculate Space does to tens of thousands of archives in a row: the
    // checks below cost a stat each, so a read-only open leaves them to libzip's own errors.
    const bool reading = (flags & ZIP_RDONLY) != 0;
    if (!reading) {
        const QFileInfo info(m_archivePath);
        if (!(flags & ZIP_CREATE) && !info.exists()) {
            *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
            return nullptr;
        }
        // libzip takes an empty file for an empty archive; no zip tool does.
        if (info.exists() && info.isFile() && info.size() == 0) {
            *result = fail(ZipNotAZip, m_archivePath + QStringLiteral(": empty file"));
            return nullptr;
        }
    }
    int code = 0;
    zip_t* archive = nullptr;
    if (reading) {
        // Opened here and handed over as a stream: libzip would stat the path before opening
        // it, and then the open file again.
        FILE* file = std::fopen(native(m_archivePath).constData(), "rbe");
        if (file) {
            // libzip asks for what it needs in large pieces; a buffer of stdio's own would only
            // cost a copy and an fstat for its size.
            std::setvbuf(file, nullptr, _IONBF, 0);
        } else {
            const int err = errno;
            if (err == ENOENT) {
                *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
                return nullptr;
            }
            // Not a judgement on the archive: it may be perfectly good (permission denied).
            *result = fail(ZipCannotOpen, fileNameOf(m_archivePath) + QStringLiteral(": ") +
                                              QString::fromLocal8Bit(std::strerror(err)));
            return nullptr;
        }
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
        if (!source) {
            ::fclose(file);
        } else if (!(archive = zip_open_from_source(source, flags, &error))) {
            zip_source_free(source); // closes the file
        }
        if (!archive) {
            *result = resultOf(&error, fileNameOf(m_archivePath));
            zip_error_fini(&error);
            return nullptr;
        }
        zip_error_fini(&error);
    } else {
        archive = zip_open(native(m_archivePath).constData(), flags, &code);
    }
    if (!archive && code == ZIP_ER_NOENT) {
        *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
        return nullptr;
    }
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        if (code == ZIP_ER_OPEN || code == ZIP_ER_READ)
            zip_error_set(&error, code, errno);
        *result = resultOf(&error, fileNameOf(m_archivePath));
        zip_error_fini(&error);
        return nullptr;
    }
    struct stat st;
    if (reading && zip_get_num_entries(archive, 0) == 0 &&
        ::stat(native(m_archivePath).constData(), &st) == 0 && st.st_size == 0) {
        zip_discard(archive);
        *result = fail(ZipNotAZip, m_archivePath + QStringLiteral(": empty file"));
        return nullptr;
    }
    if (!m_password.isEmpty())
        zip_set_default_password(archive, m_password.toUtf8().constData());
    *result = ZipOk;
    return archive;
}

// ---------------------------------------------------------------------------------------
// compress

int ZipComponent::compress(int)
{
    m_detail.clear();
    std::vector<ZipSource> sources;
    const int result = expandCompressMask(m_fileMask, m_keepFolderNames, m_processSubfolders,
                                          m_archivePath, &sources, &m_detail);
    if (result != ZipOk) {
        m_outcome = CompressOutcome();
        emit archiveWritten(false);
        return result;
    }
    return compress(sources);
}

int ZipComponent::compress(const std::vector<ZipSource>& sources)
{
    m_detail.clear();
    const int result = ZipWriter(*this, m_outcome).write(sources);
    if (result == ZipOk && m_afterWrite)
        m_afterWrite();
    if (result != ZipOk)
        m_outcome.stored.clear();
    emit archiveWritten(result == ZipOk);
    return result;
}

// ---------------------------------------------------------------------------------------
// extract

int ZipComponent::authenticateAes(zip_t* archive, quint64 index, const zip_stat_t& st,
                                  const QString& name)
{
    if (m_password.isEmpty())
        return fail(ZipPassword, name + QStringLiteral(": encrypted, and no password given"));
    const int bits = st.encryption_method == ZIP_EM_AES_128   ? 128
                     : st.encryption_method == ZIP_EM_AES_192 ? 192
                                                              : 256;
    AesAuthenticator check(m_password.toUtf8(), bits);
    zip_file_t* raw = zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED);
    if (!raw)
        return resultOf(zip_get_error(archive), name);
    int result = ZipOk;
    for (;;) {
        const zip_int64_t n = zip_fread(raw, m_buffer.data(), m_buffer.size());
        if (n < 0) {
            // libzip compares a stored entry's raw bytes with the absent CRC: not an error here.
            if (zip_error_code_zip(zip_file_get_error(raw)) != ZIP_ER_CRC)
                result = resultOf(zip_file_get_error(raw), name);
            break;
        }
        if (n == 0)
            break;
        check.addData(m_buffer.data(), n);
    }
    const int closed = zip_fclose(raw);
    if (result == ZipOk && closed != 0 && closed != ZIP_ER_CRC) {
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        result = resultOf(&error, name);
        zip_error_fini(&error);
    }
    if (result != ZipOk)
        return result;
    switch (check.finish()) {
    case AesAuthenticator::Verdict::Good:
        return ZipOk;
    case AesAuthenticator::Verdict::WrongPassword:
        return fail(ZipPassword, name + QStringLiteral(": wrong password"));
    case AesAuthenticator::Verdict::Truncated:
        return fail(ZipDamaged, name + QStringLiteral(": encrypted data truncated"));
    case AesAuthenticator::Verdict::Failed:
        return fail(ZipUnsupported, name + QStringLiteral(": authentication could not be checked"));
    case AesAuthenticator::Verdict::Damaged:
        break;
    }
    return fail(ZipDamaged, name + QStringLiteral(": authentication failed (damaged data)"));
}

int ZipComponent::readEntry(zip_t* archive, quint64 index, const QString& name,
                            const std::function<int(const char*, qint64)>& sink)
{
    zip_stat_t st;
    if (zip_stat_index(archive, index, 0, &st) != 0)
        return resultOf(zip_get_error(archive), name);
    if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0) &&
        kelmarDecodes(st.comp_method)) {
        DecodedEntryReader reader(archive, index, st, name);
        int result = reader.open();
        while (result == ZipOk) {
            const qint64 n = reader.read(m_buffer.data(), qint64(m_buffer.size()));
            if (n <= 0)
                break;
            if (sink)
                result = sink(m_buffer.data(), n);
        }
        return reader.result() == ZipOk ? result : fail(reader.result(), reader.detail());
    }
    // WinZip's AE-2 format (7-Zip writes it) stores no CRC, only the HMAC over the encrypted
    // data; libzip 1.7 still compares the CRC with the stored 0. So a first pass checks the
    // HMAC from the raw bytes, and the CRC mismatch of the second pass is then expected.
    const bool aes =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
        (st.encryption_method == ZIP_EM_AES_128 || st.encryption_method == ZIP_EM_AES_192 ||
         st.encryption_method == ZIP_EM_AES_256);
    const bool noCrc = aes && (st.valid & ZIP_STAT_CRC) && st.crc == 0 && st.size > 0;
    if (noCrc) {
        const int result = authenticateAes(archive, index, st, name);
        if (result != ZipOk)
            return result;
    }

    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file)
        return resultOf(zip_get_error(archive), name);
    int result = ZipOk;
    qint64 done = 0;
    bool expectedCrcError = false;
    for (;;) {
        const zip_int64_t n = zip_fread(file, m_buffer.data(), m_buffer.size());
        if (n < 0) {
            const zip_error_t* error = zip_file_get_error(file);
            if (noCrc && zip_error_code_zip(error) == ZIP_ER_CRC && done == qint64(st.size)) {
                expectedCrcError = true;
                break;
            }
            result = resultOf(error, name);
            break;
        }
        if (n == 0)
            break;
        done += n;
        if (sink) {
            result = sink(m_buffer.data(), n);
            if (result != ZipOk)
                break;
        }
    }
    // The CRC is checked when the last byte has been read; zip_fclose reports it too.
    const int closed = zip_fclose(file);
    if (result == ZipOk && closed != 0 && !(expectedCrcError && closed == ZIP_ER_CRC)) {
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        result = resultOf(&error, name);
        zip_error_fini(&error);
    }
    if (result == ZipOk && (st.valid & ZIP_STAT_SIZE) && done != qint64(st.size))
        result = fail(ZipDamaged, name + QStringLiteral(": size differs from directory"));
    // With the old ZipCrypto a wrong password passes its check byte once in 256 tries and
    // then reads as garbage, which cannot be told apart from damage. Like 7-Zip, count it as
    // damage (the right password must not hide a damaged entry), and say both.
    if (result == ZipDamaged && st.encryption_method == ZIP_EM_TRAD_PKWARE)
        m_detail = name + QStringLiteral(": damaged, or the password is wrong");
    return result;
}

int ZipComponent::extractEntry(zip_t* archive, quint64 index, qint64 size, qint64 mtime,
                               const QString& entryName, const QString& target)
{
    struct stat existing;
    if (::lstat(native(target).constData(), &existing) == 0)
        return matchExisting(archive, index, size, entryName, target,
                             S_ISREG(existing.st_mode) ? qint64(existing.st_size) : -1);

    const QString folder = QFileInfo(target).absolutePath();
    QByteArray temp = native(withSlash(folder) + QStringLiteral(".kelmar-XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return fail(isDiskFull(err) ? ZipDiskFull : ZipWriteError,
                    fs::displayName(folder) + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(err)));
    }
    auto systemFailure = [&](int err) {
        return fail(isDiskFull(err) ? ZipDiskFull : ZipWriteError,
                    fs::displayName(target) + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(err)));
    };
    qint64 done = 0;
    int lastPercent = -1;
    auto writeAll = [&](const char* data, qint64 n) {
        // An entry that inflates past the size its directory entry declares is lying; the
        // free-space check counted the declared size, so not one byte more is written.
        if (n > size - done)
            return fail(ZipDamaged, fs::displayName(entryName) +
                                        QStringLiteral(": larger than its directory entry says"));
        for (qint64 written = 0; written < n;) {
            const ssize_t w = ::write(fd, data + written, size_t(n - written));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return systemFailure(errno);
            written += w;
        }
        done += n;
        reportProgress(target, done, size, &lastPercent);
        return cancelled() ? fail(ZipAborted, QStringLiteral("stopped")) : int(ZipOk);
    };
    int result = readEntry(archive, index, entryName, writeAll);
    if (result == ZipOk) {
        ::fchmod(fd, creationMode());
        const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0 && result == ZipOk)
        result = systemFailure(errno);
    // Only a complete, checked copy takes the name, and only while the name is free: a file
    // that appeared meanwhile is never replaced.
    QString error;
    if (result == ZipOk && !fs::renameNoReplace(fs::nameFromNative(temp), target, &error)) {
        result = errno == EEXIST
                     ? fail(ZipExistsAndDiffers,
                            fs::displayName(target) + QStringLiteral(" appeared meanwhile"))
                     : fail(ZipWriteError, fs::displayName(target) + QStringLiteral(": ") + error);
    }
    if (result != ZipOk) {
        ::unlink(temp.constData());
        return result;
    }
    emit fileProgress(target, 100);
    return ZipOk;
}

int ZipComponent::matchExisting(zip_t* archive, quint64 index, qint64 size,
                                const QString& entryName, const QString& target,
                                qint64 existingSize)
{
    // A file of that name is the user's (or an earlier entry's): it stays as it is. When it
    // holds exactly the entry's bytes the entry is on disk all the same; otherwise the entry
    // fails, and the archive with it, so the archive is never deleted.
    const int fd = existingSize == size
                       ? ::open(native(target).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                       : -1;
    if (fd < 0)
        return fail(ZipExistsAndDiffers,
                    fs::displayName(target) + QStringLiteral(" exists and differs"));
    std::vector<char> theirs(m_buffer.size());
    auto compare = [&](const char* data, qint64 n) {
        for (qint64 at = 0; at < n;) {
            const ssize_t got =
                ::read(fd, theirs.data(), size_t(qMin<qint64>(n - at, qint64(theirs.size()))));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0 || std::memcmp(theirs.data(), data + at, size_t(got)) != 0)
                return int(ZipExistsAndDiffers);
            at += got;
        }
        return cancelled() ? fail(ZipAborted, QStringLiteral("stopped")) : int(ZipOk);
    };
    int result = readEntry(archive, index, entryName, compare);
    char more;
    if (result == ZipOk && ::read(fd, &more, 1) != 0)
        result = ZipExistsAndDiffers;
    ::close(fd);
    if (result == ZipExistsAndDiffers)
        return fail(ZipExistsAndDiffers,
                    fs::displayName(target) + QStringLiteral(" exists and differs"));
    if (result != ZipOk)
        return result;
    emit fileProgress(target, 100);
    return ZipOk;
}

int ZipComponent::extract(int)
{
    m_detail.clear();
    if (m_buffer.size() != kBufferSize)
        m_buffer.resize(kBufferSize);
    int result = ZipOk;
    zip_t* archive = openArchive(ZIP_RDONLY, &result);
    if (!archive)
        return result;

    QString destination = m_extractFolder;
    if (destination.isEmpty() || !fs::makeFolders(destination)) {
        zip_discard(archive);
        return fail(ZipWriteError, destination + QStringLiteral(": cannot create folder"));
    }
    const QString root = fs::canonicalPath(destination);
    const EntryMask mask(m_fileMask);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (cancelled()) {
            result = fail(ZipAborted, QStringLiteral("stopped"));
            break;
        }
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            int r = resultOf(zip_get_error(archive), fileNameOf(m_archivePath));
            result = result == ZipOk ? r : result;
            continue;
        }
        const QString name = QString::fromUtf8(st.name);
        const bool isFolder = name.endsWith(u'/');
        if (!mask.selects(name))
            continue;
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(archive, zip_uint64_t(i), 0, &system, &attributes);
        if (system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK) {
            const int r =
                fail(ZipUnsafeEntry, name + QStringLiteral(": symbolic link not extracted"));
            result = result == ZipOk ? r : result;
            continue;
        }
        QString why;
        QString relative = safeRelativePath(name, &why);
        if (relative.isEmpty()) {
            if (why.isEmpty())
                continue;
            const int r = fail(ZipUnsafeEntry, printable(name) + QStringLiteral(": ") + why);
            result = result == ZipOk ? r : result;
            continue;
        }
        if (isFolder && !m_keepFolderNames)
            continue;
        if (!m_keepFolderNames)
            relative = fileNameOf(relative);
        const qsizetype slash = relative.lastIndexOf(u'/');
        const QString folderPart = isFolder ? relative : relative.left(qMax<qsizetype>(slash, 0));
        const int made = makeFolderInside(destination, folderPart);
        if (made != ZipOk) {
            const int r = fail(made, name + (made == ZipUnsafeEntry
                                                 ? QStringLiteral(": leads through a link")
                                                 : QStringLiteral(": cannot create its folder")));
            result = result == ZipOk ? r : result;
            continue;
        }
        if (isFolder)
            continue;
        const QString target = withSlash(destination) + relative;
        const QString parent = QFileInfo(target).absolutePath();
        // Belt and braces: the folder the file goes into resolves inside the destination.
        if (!isInside(root, fs::canonicalPath(parent))) {
            const int r = fail(ZipUnsafeEntry,
                               name + QStringLiteral(": leads outside the destination folder"));
            result = result == ZipOk ? r : result;
            continue;
        }
        const int r =
            extractEntry(archive, zip_uint64_t(i), qint64(st.size), qint64(st.mtime), name, target);
        if (r != ZipOk && result == ZipOk)
            result = r;
        if (r == ZipAborted) {
            result = r;
            break;
        }
    }
    zip_discard(archive); // read-only: nothing to write
    return result;
}

// ---------------------------------------------------------------------------------------
// test

int ZipComponent::testEntry(zip_t* archive, quint64 index)
{
    zip_stat_t st;
    if (zip_stat_index(archive, index, 0, &st) != 0)
        return resultOf(zip_get_error(archive), fileNameOf(m_archivePath));
    const QString name = QString::fromUtf8(st.name);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
        if (!zip_encryption_method_supported(st.encryption_method, 0))
            return fail(ZipUnsupported, name + QStringLiteral(": unsupported encryption"));
        if (m_password.isEmpty())
            return fail(ZipPassword, name + QStringLiteral(": encrypted, and no password given"));
    }
    if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0) &&
        !kelmarDecodes(st.comp_method))
        return fail(ZipUnsupported, name + QStringLiteral(": compressed with ") +
                                        compressionMethodName(st.comp_method) +
                                        QStringLiteral(", which Kelmar cannot read"));
    return readEntry(archive, index, name, nullptr);
}

int ZipComponent::test()
{
    m_detail.clear();
    if (m_buffer.size() != kBufferSize)
        m_buffer.resize(kBufferSize);
    int result = ZipOk;
    // libzip's ZIP_CHECKCONS refuses what the format allows (data descriptors, differing
    // extra fields, repeated names); the local headers are compared here instead.
    zip_t* archive = openArchive(ZIP_RDONLY, &result);
    if (!archive)
        return result;
    const QString contradiction = localHeaderContradiction(m_archivePath);
    if (!contradiction.isEmpty()) {
        zip_discard(archive);
        return fail(ZipDamaged, contradiction);
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    int unjudged = ZipOk;
    QString unjudgedDetail;
    for (zip_int64_t i = 0; i < count; ++i) {
        m_detail.clear();
        const int r = testEntry(archive, zip_uint64_t(i));
        if (r == ZipOk)
            continue;
        if (zipResultIsUnjudged(r)) {
            // Keep looking: damage elsewhere in the archive still makes it bad.
            if (unjudged == ZipOk) {
                unjudged = r;
                unjudgedDetail = m_detail;
            }
            continue;
        }
        result = r;
        break;
    }
    zip_discard(archive);
    if (result == ZipOk && unjudged != ZipOk) {
        m_detail = unjudgedDetail;
        return unjudged;
    }
    if (result == ZipOk)
        m_detail.clear();
    return result;
}

// ---------------------------------------------------------------------------------------
// list and remove

QString ZipComponent::extractedPath(const QString& destination, const QString& entryName,
                                    bool keepFolderNames)
{
    if (entryName.endsWith(u'/'))
        return QString();
    QString why;
    const QString relative = safeRelativePath(entryName, &why);
    if (relative.isEmpty())
        return QString();
    return withSlash(destination) + (keepFolderNames ? relative : fileNameOf(relative));
}

int ZipComponent::list()
{
    m_detail.clear();
    int result = ZipOk;
    zip_t* archive = openArchive(ZIP_RDONLY, &result);
    if (!archive)
        return result;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            result = resultOf(zip_get_error(archive), fileNameOf(m_archivePath));
            break;
        }
        emit entryListed(QString::fromUtf8(st.name), qint64(st.size));
    }
    zip_discard(archive);
    return result;
}

int ZipComponent::remove()
{
    m_detail.clear();
    int result = ZipOk;
    zip_t* archive = openArchive(0, &result);
    if (!archive)
        return result;
    const EntryMask mask(m_fileMask);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_int64_t removed = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (!name || !mask.selects(QString::fromUtf8(name)))
            continue;
        if (zip_delete(archive, zip_uint64_t(i)) != 0) {
            result = resultOf(zip_get_error(archive), QString::fromUtf8(name));
            zip_discard(archive);
            return result;
        }
        ++removed;
    }
    if (removed == 0) {
        zip_discard(archive);
        return ZipOk;
    }
    // libzip deletes an archive left without entries; a user's file is not ours to delete.
    if (removed == count) {
        zip_discard(archive);
        return fail(ZipWouldBeEmpty,
                    fileNameOf(m_archivePath) + QStringLiteral(": every entry would be removed"));
    }
    zip_register_cancel_callback_with_state(
        archive,
        [](zip_t*, void* self) { return static_cast<ZipComponent*>(self)->cancelled() ? 1 : 0; },
        nullptr, this);
    if (zip_close(archive) != 0) {
        result = resultOf(zip_get_error(archive), fileNameOf(m_archivePath));
        zip_discard(archive);
    }
    return result;
}

} // namespace kelmar
