// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveReader.h"

#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/LocalHeaderCheck.h"
#include "archive/PaddedExtraSource.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipError.h"
#include "archive/ZipExtractor.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"

#include <zip.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar {

namespace {

// Small enough to stay in the processor's cache between inflating and writing: with 256 KiB
// each write into the page cache cost about twice as much system time per byte, and
// extraction was a fifth slower than 7-Zip's; reading alone did not change.
constexpr size_t kBufferSize = 32 * 1024;

std::atomic<int> g_opens{0};

// A descriptor of its own on the open archive: each libzip source closes the one it is given.
int duplicate(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// An archive libzip found inconsistent, opened again without the padding at the end of its
// directory's extra fields when that was the reason; null otherwise.
ZipArchivePtr openPastExtraPadding(int file)
{
    const int fd = duplicate(file);
    if (fd < 0)
        return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = nullptr;
    zip_source_t* source = paddedExtraSource(fd, &error);
    if (!source)
        ::close(fd);
    else if (!(archive = zip_open_from_source(source, ZIP_RDONLY, &error)))
        zip_source_free(source); // closes fd
    zip_error_fini(&error);
    return ZipArchivePtr(archive);
}

} // namespace

ArchiveReader::ArchiveReader(const QString& path, const QString& password)
    : m_path(path), m_password(password.toUtf8())
{
}

ArchiveReader::~ArchiveReader() = default;

int ArchiveReader::opens()
{
    return g_opens.load();
}

int ArchiveReader::fail(int code, const QString& detail)
{
    if (m_detail.isEmpty())
        m_detail = detail;
    return code;
}

int ArchiveReader::resultOf(const zip_error_t* error, const QString& what)
{
    QString detail;
    const int code = EntryReader::resultOf(error, what, &detail);
    return code == ZipOk ? int(ZipOk) : fail(code, detail);
}

int ArchiveReader::failOpening(int code, const QString& detail)
{
    m_archive.reset();
    m_openResult = fail(code, detail);
    return m_openResult;
}

// Opened here and handed over as a stream: libzip would stat the path before opening it, and
// then the open file again. Reading is what Calculate Space does to tens of thousands of
// archives in a row, so no check here costs a stat of its own; libzip's errors say the rest.
ZipArchivePtr ArchiveReader::openStream(int* result)
{
    m_file.reset(::open(fs::nativeName(m_path).constData(), O_RDONLY | O_CLOEXEC));
    const int dup = m_file ? duplicate(m_file.get()) : -1;
    FILE* file = dup >= 0 ? ::fdopen(dup, "rb") : nullptr;
    if (!file) {
        const int err = errno;
        if (dup >= 0)
            ::close(dup);
        m_file.reset();
        // Not a judgement on the archive when it exists: it may be perfectly good.
        *result = err == ENOENT
                      ? fail(ZipFileNotFound, m_path + QStringLiteral(": file not found"))
                      : fail(ZipCannotOpen, fs::fileNameOf(m_path) + QStringLiteral(": ") +
                                                QString::fromLocal8Bit(std::strerror(err)));
        return nullptr;
    }
    // libzip asks for what it needs in large pieces; a buffer of stdio's own would only cost
    // a copy and an fstat for its size.
    std::setvbuf(file, nullptr, _IONBF, 0);
    zip_error_t error;
    zip_error_init(&error);
    ZipArchivePtr archive;
    zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
    if (!source)
        std::fclose(file);
    else if (!(archive = ZipArchivePtr(zip_open_from_source(source, ZIP_RDONLY, &error))))
        zip_source_free(source); // closes the file
    if (!archive && zip_error_code_zip(&error) == ZIP_ER_INCONS)
        archive = openPastExtraPadding(m_file.get());
    *result = archive ? int(ZipOk) : resultOf(&error, fs::fileNameOf(m_path));
    zip_error_fini(&error);
    return archive;
}

int ArchiveReader::open()
{
    if (m_archive)
        return ZipOk;
    if (m_openResult != ZipOk)
        return m_openResult; // tried once: its detail stays
    m_detail.clear();
    ++g_opens;
    m_before = fs::FileIdentity::ofPath(fs::nativeName(m_path));
    m_archive = openStream(&m_openResult);
    if (!m_archive)
        return m_openResult;
    // libzip takes an empty file for an empty archive; no zip tool does.
    if (zip_get_num_entries(m_archive.get(), 0) == 0) {
        const std::optional<fs::PathStatus> st = fs::statOf(m_path, fs::Links::Follow);
        if (st && st->size == 0)
            return failOpening(ZipNotAZip, m_path + QStringLiteral(": empty file"));
    }
    if (!m_password.isEmpty())
        zip_set_default_password(m_archive.get(), m_password.constData());
    m_buffer.resize(kBufferSize);
    return ZipOk;
}

int ArchiveReader::list(std::vector<ArchiveEntry>* entries)
{
    if (const int opened = open(); opened != ZipOk)
        return opened;
    m_detail.clear();
    zip_t* archive = m_archive.get();
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    entries->reserve(size_t(qMax<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0)
            return resultOf(zip_get_error(archive), fs::fileNameOf(m_path));
        entries->push_back({quint64(i), entryNameOf(archive, zip_uint64_t(i)), qint64(st.size)});
    }
    return ZipOk;
}

int ArchiveReader::readEntry(quint64 index, const std::function<int(const char*, qint64)>& sink)
{
    zip_t* archive = m_archive.get();
    // Most entries come in one piece through libdeflate, checked before a byte is handed on;
    // any doubt reads them the long way, which also words what is wrong.
    if (sink) {
        zip_stat_t st;
        int result = ZipOk;
        const auto use = [&](const char* data, qint64 n) {
            if (n > 0)
                result = sink(data, n);
        };
        if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) == 0 &&
            withWholeEntry(archive, index, st, use, m_password))
            return result;
    }
    EntryReader reader(archive, index, m_password);
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

int ArchiveReader::openChecked()
{
    if (const int opened = open(); opened != ZipOk)
        return opened;
    m_detail.clear();
    const QString contradiction = localHeaderContradictionOf(m_file.get());
    return contradiction.isEmpty() ? int(ZipOk) : fail(ZipDamaged, contradiction);
}

// libzip's ZIP_CHECKCONS refuses what the format allows (data descriptors, differing extra
// fields, repeated names); the local headers are compared here instead.
int ArchiveReader::test()
{
    if (const int checked = openChecked(); checked != ZipOk)
        return checked;
    zip_t* archive = m_archive.get();
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    int result = ZipOk;
    int unjudged = ZipOk;
    QString unjudgedDetail;
    for (zip_int64_t i = 0; i < count && result == ZipOk; ++i) {
        m_detail.clear();
        // Most entries are checked in one piece; any doubt reads them the long way.
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) == 0 &&
            wholeEntryPasses(archive, zip_uint64_t(i), st, m_password))
            continue;
        const int r = readEntry(zip_uint64_t(i), nullptr);
        if (r == ZipOk)
            continue;
        if (!zipResultIsUnjudged(r)) {
            result = r;
        } else if (unjudged == ZipOk) {
            // Keep looking: damage elsewhere in the archive still makes it bad.
            unjudged = r;
            unjudgedDetail = m_detail;
        }
    }
    if (result == ZipOk && unjudged != ZipOk) {
        m_detail = unjudgedDetail;
        return unjudged;
    }
    if (result == ZipOk)
        m_detail.clear();
    return result;
}

int ArchiveReader::extract(const ExtractSettings& settings, ExtractManifest* manifest)
{
    // Checked before a byte is written: entries that share their data, or whose local header
    // lies about them, would write far more than the archive holds, and test calls the
    // archive bad for the same reasons.
    if (const int checked = openChecked(); checked != ZipOk)
        return checked;
    return ZipExtractor(*this, settings, *manifest).extract();
}

} // namespace kelmar
