#include "archive/ZipComponent.h"

#include "archive/CompressMask.h"
#include "archive/EntryMask.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/LocalHeaderCheck.h"
#include "archive/PaddedExtraSource.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipExtractor.h"
#include "archive/ZipHandles.h"
#include "archive/ZipWriter.h"
#include "fs/NativeName.h"

#include <QFileInfo>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar {

namespace {

// Small enough to stay in the processor's cache between inflating and writing: with 256 KiB
// each write into the page cache cost about twice as much system time per byte, and
// extraction was a fifth slower than 7-Zip's; reading alone did not change.
constexpr size_t kBufferSize = 32 * 1024;

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// An archive libzip found inconsistent, opened again without the padding at the end of its
// directory's extra fields when that was the reason; null otherwise.
zip_t* openPastExtraPadding(const QString& path, int flags)
{
    const int fd = ::open(fs::nativeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = nullptr;
    zip_source_t* source = paddedExtraSource(fd, &error);
    if (!source)
        ::close(fd);
    else if (!(archive = zip_open_from_source(source, flags, &error)))
        zip_source_free(source); // closes fd
    zip_error_fini(&error);
    return archive;
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
    QString detail;
    int code = EntryReader::resultOf(error, what, &detail);
    // A file-size limit stops a write as a full disk does, but there is space to be had: the
    // archive was not written, and that is all a user can act on.
    if (code == ZipDiskFull && zip_error_code_system(error) == EFBIG)
        code = ZipWriteError;
    return code == ZipOk ? int(ZipOk) : fail(code, detail);
}

zip_t* ZipComponent::openArchive(int flags, int* result)
{
    // Reading is what Calculate Space does to tens of thousands of archives in a row: the
    // checks below cost a stat each, so a read-only open leaves them to libzip's own errors.
    const bool reading = (flags & ZIP_RDONLY) != 0;
    if (!reading) {
        // By its bytes: Qt's file classes would look up another name when it is not UTF-8.
        struct stat existing;
        const bool exists = ::stat(fs::nativeName(m_archivePath).constData(), &existing) == 0;
        if (!(flags & ZIP_CREATE) && !exists) {
            *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
            return nullptr;
        }
        // libzip takes an empty file for an empty archive; no zip tool does.
        if (exists && S_ISREG(existing.st_mode) && existing.st_size == 0) {
            *result = fail(ZipNotAZip, m_archivePath + QStringLiteral(": empty file"));
            return nullptr;
        }
    }
    int code = 0;
    zip_t* archive = nullptr;
    if (reading) {
        // Opened here and handed over as a stream: libzip would stat the path before opening
        // it, and then the open file again.
        FILE* file = std::fopen(fs::nativeName(m_archivePath).constData(), "rbe");
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
        if (!archive && zip_error_code_zip(&error) == ZIP_ER_INCONS)
            archive = openPastExtraPadding(m_archivePath, flags);
        if (!archive) {
            *result = resultOf(&error, fileNameOf(m_archivePath));
            zip_error_fini(&error);
            return nullptr;
        }
        zip_error_fini(&error);
    } else {
        archive = zip_open(fs::nativeName(m_archivePath).constData(), flags, &code);
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
        ::stat(fs::nativeName(m_archivePath).constData(), &st) == 0 && st.st_size == 0) {
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

void ZipComponent::rememberStoredFrom(const ZipComponent& other, const QString& archivePath)
{
    const QString key = QFileInfo(archivePath).absoluteFilePath();
    const auto it = other.m_storedFrom.constFind(key);
    if (it == other.m_storedFrom.constEnd())
        return;
    std::unordered_map<QString, QString>& mine = m_storedFrom[key];
    for (const auto& [entry, source] : *it)
        mine[entry] = source;
}

// ---------------------------------------------------------------------------------------
// extract

int ZipComponent::readEntry(zip_t* archive, quint64 index,
                            const std::function<int(const char*, qint64)>& sink)
{
    // Most entries come in one piece through libdeflate, checked before a byte is handed on;
    // any doubt reads them the long way, which also words what is wrong.
    if (sink) {
        zip_stat_t st;
        int result = ZipOk;
        if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) == 0 &&
            withWholeEntry(archive, index, st, [&](const char* data, qint64 n) {
                if (n > 0)
                    result = sink(data, n);
            }))
            return result;
    }
    EntryReader reader(archive, index, m_password.toUtf8());
    reader.setComputeCrc(false);
    reader.setStreamEndChecked(true);
    int result = reader.open();
    while (result == ZipOk) {
        const qint64 n = reader.read(m_buffer.data(), qint64(m_buffer.size()));
        if (n <= 0)
            break;
        if (sink)
            result = sink(m_buffer.data(), n);
    }
    reader.close();
    return reader.result() == ZipOk ? result : fail(reader.result(), reader.detail());
}

int ZipComponent::extract(int)
{
    m_detail.clear();
    if (m_buffer.size() != kBufferSize)
        m_buffer.resize(kBufferSize);
    int result = ZipOk;
    const ZipArchivePtr archive(openArchive(ZIP_RDONLY, &result));
    if (!archive)
        return result;
    // Checked before a byte is written: entries that share their data, or whose local header
    // lies about them, would write far more than the archive holds, and test calls the
    // archive bad for the same reasons.
    const QString contradiction = localHeaderContradiction(m_archivePath);
    if (!contradiction.isEmpty())
        return fail(ZipDamaged, contradiction);
    return ZipExtractor(*this).extract(archive.get());
}

QString ZipComponent::extractedPath(const QString& destination, const QString& entryName,
                                    bool keepFolderNames)
{
    return ZipExtractor::extractedPath(destination, entryName, keepFolderNames);
}

// ---------------------------------------------------------------------------------------
// test

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
        // Most entries are checked in one piece; any doubt reads them the long way.
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) == 0 &&
            wholeEntryPasses(archive, zip_uint64_t(i), st))
            continue;
        const int r = readEntry(archive, zip_uint64_t(i), nullptr);
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
        emit entryListed(entryNameOf(archive, zip_uint64_t(i)), qint64(st.size));
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
        if (!zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW))
            continue;
        const QString name = entryNameOf(archive, zip_uint64_t(i));
        if (!mask.selects(name))
            continue;
        if (zip_delete(archive, zip_uint64_t(i)) != 0) {
            result = resultOf(zip_get_error(archive), fs::displayName(name));
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
