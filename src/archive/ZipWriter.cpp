// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ZipWriter.h"

#include "archive/DeflateAhead.h"
#include "archive/EntryName.h"
#include "archive/FileReader.h"
#include "archive/ZipComponent.h"
#include "archive/ZipHandles.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace kelmar {

namespace {

// The CRC of the file as one unchanged whole, and its identity while it was read.
bool crcOfFile(const QByteArray& nativePath, quint32* crc, fs::FileIdentity* identity)
{
    fs::FdGuard fd(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return false;
    const std::optional<fs::FileIdentity> before = fs::FileIdentity::ofFd(fd.get());
    if (!before || !before->regular)
        return false;
    std::vector<unsigned char> buffer(64 * 1024);
    quint32 value = 0;
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        value = quint32(crc32(value, buffer.data(), uInt(n)));
        total += n;
    }
    const std::optional<fs::FileIdentity> after = fs::FileIdentity::ofFd(fd.get());
    if (!after || *after != *before || total != before->size)
        return false;
    *crc = value;
    *identity = *before;
    return true;
}

// Why unzip would refuse the entry name (see ZipExtractor), or an empty text: a name is stored
// only when it can be read back.
QString refusedBecause(const QString& entryName)
{
    for (const QChar c : entryName) {
        if (c == u'\n')
            return QStringLiteral("its name holds a line feed, which unzip refuses");
        if (c == u'\r')
            return QStringLiteral("its name holds a carriage return, which unzip refuses");
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("its name holds a control character, which unzip refuses");
    }
    return QString();
}

} // namespace

ZipWriter::ZipWriter(ZipComponent& zip, CompressOutcome& outcome) : m_zip(zip), m_outcome(outcome)
{
}

ZipWriter::~ZipWriter() = default;

int ZipWriter::readExisting(zip_t* archive)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0)
            return m_zip.resultOf(zip_get_error(archive), fs::fileNameOf(m_zip.archivePath()));
        QString name = entryNameOf(archive, zip_uint64_t(i));
        if (name.endsWith(u'/')) {
            name.chop(1);
            if (!name.isEmpty())
                m_folders.insert(fs::foldedName(name), name);
            continue;
        }
        Holder holder;
        holder.name = name;
        holder.size = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : -1;
        holder.crcKnown = (st.valid & ZIP_STAT_CRC) != 0;
        holder.crc = st.crc;
        take(name, holder);
    }
    return ZipOk;
}

const ZipWriter::Holder* ZipWriter::holderOf(const QString& name, QString* clashWith) const
{
    static const Holder folder;
    const QString key = fs::foldedName(name);
    if (const auto it = m_files.constFind(key); it != m_files.constEnd()) {
        *clashWith = it->name;
        return &*it;
    }
    if (const auto it = m_folders.constFind(key); it != m_folders.constEnd()) {
        *clashWith = *it + u'/';
        return &folder;
    }
    // A file where the name needs a folder.
    for (qsizetype slash = key.indexOf(u'/'); slash > 0; slash = key.indexOf(u'/', slash + 1)) {
        if (const auto it = m_files.constFind(key.left(slash)); it != m_files.constEnd()) {
            *clashWith = it->name;
            return &folder;
        }
    }
    return nullptr;
}

void ZipWriter::take(const QString& name, const Holder& holder)
{
    m_files.insert(fs::foldedName(name), holder);
    for (qsizetype slash = name.indexOf(u'/'); slash > 0; slash = name.indexOf(u'/', slash + 1))
        m_folders.insert(fs::foldedName(name.left(slash)), name.left(slash));
}

QString ZipWriter::freeName(const QString& name) const
{
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype cut = dot > slash + 1 ? dot : name.size();
    const QString stem = name.left(cut);
    const QString extension = name.mid(cut);
    QString unused;
    for (int n = 2;; ++n) {
        const QString candidate = stem + QStringLiteral(" (%1)").arg(n) + extension;
        if (!holderOf(candidate, &unused))
            return candidate;
    }
}

int ZipWriter::settleName(const std::vector<ZipSource>& sources, int index, QString* name)
{
    const ZipSource& source = sources.at(size_t(index));
    *name = source.entryName;
    QString with;
    const Holder* holder = holderOf(*name, &with);
    if (!holder) {
        Holder mine;
        mine.name = *name;
        mine.source = index;
        take(*name, mine);
        return ZipOk;
    }
    // The same file is in the archive already: nothing to replace, nothing to add.
    quint32 crc = 0;
    fs::FileIdentity identity;
    if (holder->source < 0 && holder->crcKnown &&
        holder->size == m_planned.at(size_t(index)).size &&
        crcOfFile(source.nativePath, &crc, &identity) && crc == holder->crc &&
        identity.size == holder->size) {
        m_outcome.stored.push_back({source.path, source.nativePath, holder->name, identity});
        emit m_zip.fileProgress(source.path, 100);
        name->clear();
        return ZipOk;
    }
    const QString archive = fs::fileNameOf(m_zip.archivePath());
    QString other;
    if (holder->source >= 0) {
        other = sources.at(size_t(holder->source)).path;
    } else if (const auto stored = m_storedFrom.find(fs::foldedName(with));
               stored != m_storedFrom.end()) {
        other = stored->second;
    }
    switch (source.onClash) {
    case ZipSource::OnClash::Fail:
        if (holder->source >= 0)
            return m_zip.fail(ZipNameTaken, source.path + QStringLiteral(" and ") + other +
                                                QStringLiteral(" would both be stored as ") + with);
        return m_zip.fail(
            ZipNameTaken,
            source.path + QStringLiteral(" would replace ") + with + QStringLiteral(" in ") +
                archive +
                (other.isEmpty() ? QString() : QStringLiteral(", stored there from ") + other));
    case ZipSource::OnClash::Skip:
        m_outcome.notes.append(source.path + QStringLiteral(" is left out of ") + archive +
                               QStringLiteral(": it holds ") + with +
                               (other.isEmpty() ? QString() : QStringLiteral(" from ") + other));
        name->clear();
        return ZipOk;
    case ZipSource::OnClash::Rename:
        break;
    }
    *name = freeName(*name);
    m_outcome.notes.append(source.path + QStringLiteral(" is stored as ") + *name +
                           QStringLiteral(" in ") + archive + QStringLiteral(": ") + with +
                           QStringLiteral(" is taken") +
                           (other.isEmpty() ? QString() : QStringLiteral(" by ") + other));
    Holder mine;
    mine.name = *name;
    mine.source = index;
    take(*name, mine);
    return ZipOk;
}

int ZipWriter::addSource(zip_t* archive, const ZipSource& source, const QString& name,
                         const fs::FileIdentity& planned)
{
    auto reader = std::make_unique<FileReader>();
    reader->zip = &m_zip;
    reader->source = &source;
    reader->path = source.path;
    reader->nativePath = source.nativePath;
    reader->entryName = name;
    reader->plannedSize = planned.size;
    reader->plannedMtime = time_t(planned.mtimeNs / 1000000000);
    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr zipSource(zip_source_function_create(&FileReader::callback, reader.get(), &error));
    if (!zipSource) {
        const int r = m_zip.resultOf(&error, source.path);
        zip_error_fini(&error);
        return r;
    }
    zip_error_fini(&error);
    m_readers.push_back(std::move(reader));
    zip_flags_t encoding = 0;
    const QByteArray entry = entryNameBytes(name, &encoding);
    const zip_int64_t index = zip_file_add(archive, entry.constData(), zipSource.get(), encoding);
    if (index < 0)
        return m_zip.resultOf(zip_get_error(archive), name);
    zipSource.release(); // the archive owns it now
    const int level = qBound(0, m_zip.level(), 9);
    m_readers.back()->archive = archive;
    m_readers.back()->index = zip_uint64_t(index);
    bool ok = zip_set_file_compression(archive, zip_uint64_t(index),
                                       level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                       zip_uint32_t(level)) == 0;
    ok = ok && zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                                zip_uint32_t(0100644) << 16) == 0;
    if (ok && !m_zip.password().isEmpty())
        ok = zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256,
                                     m_zip.password().toUtf8().constData()) == 0;
    return ok ? int(ZipOk) : m_zip.resultOf(zip_get_error(archive), name);
}

int ZipWriter::write(const std::vector<ZipSource>& sources)
{
    m_outcome = CompressOutcome();
    int result = checkCanWrite(sources);
    if (result != ZipOk)
        return result;
    std::vector<bool> isArchive;
    result = identifySources(sources, &isArchive);
    if (result != ZipOk)
        return result;

    m_archiveKey = QFileInfo(m_zip.archivePath()).absoluteFilePath();
    m_storedFrom = m_zip.storedFrom().value(m_archiveKey);
    ZipArchivePtr archive(m_zip.openArchive(ZIP_CREATE, &result));
    if (!archive)
        return result;
    result = readExisting(archive.get());
    if (result != ZipOk)
        return result;

    std::vector<QString> names;
    result = settleNames(sources, isArchive, &names);
    if (result != ZipOk)
        return result;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (names[i].isEmpty())
            continue;
        result = addSource(archive.get(), sources[i], names[i], m_planned[i]);
        if (result != ZipOk)
            return result;
    }
    startDeflating();
    return commit(archive);
}

int ZipWriter::checkCanWrite(const std::vector<ZipSource>& sources)
{
    if (sources.empty())
        return m_zip.fail(ZipFileNotFound, QStringLiteral("no file to add"));
    if (m_zip.level() > 0 && !zip_compression_method_supported(ZIP_CM_DEFLATE, 1))
        return m_zip.fail(ZipUnsupported, QStringLiteral("this libzip cannot deflate"));
    if (!m_zip.password().isEmpty() && !zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        return m_zip.fail(ZipUnsupported,
                          QStringLiteral("this libzip cannot encrypt with AES-256"));
    return ZipOk;
}

int ZipWriter::identifySources(const std::vector<ZipSource>& sources, std::vector<bool>* isArchive)
{
    // Every source is there and is a file before the archive is touched.
    const std::optional<fs::FileIdentity> archiveId =
        fs::FileIdentity::ofPath(fs::nativeName(m_zip.archivePath()), true);
    isArchive->assign(sources.size(), false);
    m_planned.assign(sources.size(), fs::FileIdentity());
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::optional<fs::FileIdentity> id =
            fs::FileIdentity::ofPath(sources[i].nativePath, true);
        if (!id)
            return m_zip.fail(errno == ENOENT ? ZipFileNotFound : ZipReadError,
                              sources[i].path + QStringLiteral(": ") + fs::systemError(errno));
        if (!id->regular)
            return m_zip.fail(ZipReadError, sources[i].path + QStringLiteral(": not a file"));
        m_planned[i] = *id;
        (*isArchive)[i] =
            archiveId && archiveId->device == id->device && archiveId->inode == id->inode;
    }
    return ZipOk;
}

int ZipWriter::settleNames(const std::vector<ZipSource>& sources,
                           const std::vector<bool>& isArchive, std::vector<QString>* names)
{
    // The files first, so an info file never takes a name one of them needs.
    std::vector<int> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < sources.size(); ++i) {
            if ((sources[i].onClash == ZipSource::OnClash::Skip) == (pass == 1))
                order.push_back(int(i));
        }
    }
    names->assign(sources.size(), QString());
    for (const int i : order) {
        const ZipSource& source = sources[size_t(i)];
        if (const QString why = refusedBecause(source.entryName); !why.isEmpty()) {
            const QString shown = fs::printableName(source.path);
            if (source.onClash == ZipSource::OnClash::Fail)
                return m_zip.fail(ZipUnsafeEntry, shown + QStringLiteral(": ") + why);
            m_outcome.notes.append(shown + QStringLiteral(" is left out of ") +
                                   fs::fileNameOf(m_zip.archivePath()) + QStringLiteral(": ") +
                                   why);
            continue;
        }
        if (isArchive[size_t(i)]) {
            m_outcome.notes.append(source.path +
                                   QStringLiteral(" is the archive itself and is left out"));
            continue;
        }
        const int result = settleName(sources, i, &(*names)[size_t(i)]);
        if (result != ZipOk)
            return result;
    }
    return ZipOk;
}

void ZipWriter::startDeflating()
{
    // Files small enough are deflated whole by libdeflate, the next ones on other threads while
    // libzip writes the current one; larger ones in blocks on several threads.
    m_ahead = std::make_unique<DeflateAhead>(m_zip.compressThreads());
    const int level = qBound(0, m_zip.level(), 9);
    for (const std::unique_ptr<FileReader>& reader : m_readers) {
        reader->ahead = m_ahead.get();
        if (level > 0 && reader->plannedSize <= BufferBudget::kEntryCap) {
            reader->slot = m_ahead->add(reader->nativePath, reader->plannedSize, level);
        } else if (level > 0) {
            reader->blockLevel = level;
            reader->blockThreads = m_zip.blockThreads();
        }
    }
    m_ahead->start();
}

int ZipWriter::commit(ZipArchivePtr& archive)
{
    zip_register_cancel_callback_with_state(
        archive.get(),
        [](zip_t*, void* self) -> int {
            try {
                return static_cast<ZipComponent*>(self)->cancelled() ? 1 : 0;
            } catch (...) {
                return 1;
            }
        },
        nullptr, &m_zip);
    const int closed = commitArchive(archive);
    m_ahead->stop(); // after a Stop too: no thread outlives the compress
    if (closed != 0) {
        // The archive on disk is unchanged; libzip removed its temporary file.
        return m_zip.resultOf(zip_get_error(archive.get()), fs::fileNameOf(m_zip.archivePath()));
    }
    for (const std::unique_ptr<FileReader>& reader : m_readers) {
        if (reader->complete)
            m_outcome.stored.push_back(
                {reader->path, reader->nativePath, reader->entryName, reader->opened});
        else
            m_outcome.changedWhileRead.append(reader->path);
    }
    std::unordered_map<QString, QString>& from = m_zip.storedFrom()[m_archiveKey];
    for (const StoredSource& s : m_outcome.stored)
        from[fs::foldedName(s.entryName)] = s.path;
    return ZipOk;
}

} // namespace kelmar
