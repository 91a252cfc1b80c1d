// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ZipComponent.h"

#include "archive/ArchiveReader.h"
#include "archive/CompressMask.h"
#include "archive/EntryMask.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/ZipExtractor.h"
#include "archive/ZipWriter.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"

#include <QFileInfo>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar {

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
    const int code = EntryReader::resultOf(error, what, &detail);
    return code == ZipOk ? int(ZipOk) : fail(code, detail);
}

ZipArchivePtr ZipComponent::openArchive(int flags, int* result)
{
    // By its bytes: Qt's file classes would look up another name when it is not UTF-8.
    const std::optional<fs::PathStatus> existing = fs::statOf(m_archivePath, fs::Links::Follow);
    const bool exists = existing.has_value();
    if (!(flags & ZIP_CREATE) && !exists) {
        *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
        return nullptr;
    }
    // libzip takes an empty file for an empty archive; no zip tool does.
    if (exists && existing->kind == fs::FileKind::File && existing->size == 0) {
        *result = fail(ZipNotAZip, m_archivePath + QStringLiteral(": empty file"));
        return nullptr;
    }
    int code = 0;
    ZipArchivePtr archive(zip_open(fs::nativeName(m_archivePath).constData(), flags, &code));
    if (!archive && code == ZIP_ER_NOENT) {
        *result = fail(ZipFileNotFound, m_archivePath + QStringLiteral(": file not found"));
        return nullptr;
    }
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        if (code == ZIP_ER_OPEN || code == ZIP_ER_READ)
            zip_error_set(&error, code, errno);
        *result = resultOf(&error, fs::fileNameOf(m_archivePath));
        zip_error_fini(&error);
        return nullptr;
    }
    if (!m_password.isEmpty())
        zip_set_default_password(archive.get(), m_password.toUtf8().constData());
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
// extract, test and list: each through a reader of its own

int ZipComponent::extract(int)
{
    m_detail.clear();
    ArchiveReader reader(m_archivePath, m_password);
    ExtractSettings settings;
    settings.destination = m_extractFolder;
    settings.fileMask = m_fileMask;
    settings.keepFolderNames = m_keepFolderNames;
    settings.cancelled = [this] { return cancelled(); };
    settings.progress = [this](const QString& target, int percent) {
        emit fileProgress(target, percent);
    };
    ExtractManifest manifest;
    const int result = reader.extract(settings, &manifest);
    m_detail = reader.detail();
    return result;
}

QString ZipComponent::extractedPath(const QString& destination, const QString& entryName,
                                    bool keepFolderNames)
{
    return ZipExtractor::extractedPath(destination, entryName, keepFolderNames);
}

int ZipComponent::test()
{
    ArchiveReader reader(m_archivePath, m_password);
    const int result = reader.test();
    m_detail = reader.detail();
    return result;
}

int ZipComponent::list()
{
    ArchiveReader reader(m_archivePath, m_password);
    std::vector<ArchiveEntry> entries;
    const int result = reader.list(&entries);
    m_detail = reader.detail();
    for (const ArchiveEntry& entry : entries)
        emit entryListed(entry.name, entry.size);
    return result;
}

// ---------------------------------------------------------------------------------------
// remove

int ZipComponent::remove()
{
    m_detail.clear();
    int result = ZipOk;
    ZipArchivePtr archive = openArchive(0, &result);
    if (!archive)
        return result;
    const EntryMask mask(m_fileMask);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    zip_int64_t removed = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        if (!zip_get_name(archive.get(), zip_uint64_t(i), ZIP_FL_ENC_RAW))
            continue;
        const QString name = entryNameOf(archive.get(), zip_uint64_t(i));
        if (!mask.selects(name))
            continue;
        if (zip_delete(archive.get(), zip_uint64_t(i)) != 0)
            return resultOf(zip_get_error(archive.get()), fs::displayName(name));
        ++removed;
    }
    if (removed == 0)
        return ZipOk;
    // libzip deletes an archive left without entries; a user's file is not ours to delete.
    if (removed == count)
        return fail(ZipWouldBeEmpty, fs::fileNameOf(m_archivePath) +
                                         QStringLiteral(": every entry would be removed"));
    zip_register_cancel_callback_with_state(
        archive.get(),
        [](zip_t*, void* self) { return static_cast<ZipComponent*>(self)->cancelled() ? 1 : 0; },
        nullptr, this);
    if (commitArchive(archive) != 0)
        return resultOf(zip_get_error(archive.get()), fs::fileNameOf(m_archivePath));
    return ZipOk;
}

} // namespace kelmar
