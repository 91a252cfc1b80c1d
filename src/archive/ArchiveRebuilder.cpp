// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveRebuilder.h"

#include "archive/ArchiveReplacement.h"
#include "archive/EntryMask.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/RebuildSource.h"
#include "archive/RecompressAhead.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipError.h"
#include "archive/ZipHandles.h"
#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QHash>
#include <QSet>

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace kelmar {

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// The file-type bits of a Unix mode, as an entry's external attributes carry it.
constexpr quint32 kFileTypeBits = 0170000;

QString leafOf(const QString& name)
{
    const qsizetype cut = qMax(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return name.mid(cut + 1);
}

QByteArray leafOf(const QByteArray& name)
{
    const qsizetype cut = qMax(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    return name.mid(cut + 1);
}

// The external attributes of an entry given the DOS attributes bits. A Unix mode the entry
// carries is kept, without write permission when read-only and owner-writable otherwise,
// marked the way 7-Zip marks it, so both zipinfo and 7-Zip show the DOS bits.
void withAttributes(int bits, zip_uint8_t* system, zip_uint32_t* external)
{
    quint32 mode = *external >> 16;
    const bool hasMode = (*system == ZIP_OPSYS_UNIX && (mode & kFileTypeBits) != 0) ||
                         (*system == ZIP_OPSYS_DOS && (*external & 0x8000) != 0 && mode != 0);
    quint32 result = quint32(bits) & 0xFF;
    if (hasMode) {
        mode = (bits & 1) ? (mode & ~quint32(0222)) : (mode | 0200);
        result |= (mode << 16) | 0x8000;
    }
    *system = ZIP_OPSYS_DOS;
    *external = result;
}

// The result of a libzip open that failed with code, worded for what.
int openFailure(int code, const QString& what, QString* detail)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const int result = EntryReader::resultOf(&error, what, detail);
    zip_error_fini(&error);
    return result;
}

// Opens an archive to read from it; on failure null, with the result code and its words.
ZipArchivePtr openForReading(const QByteArray& native, const QString& path, int* result,
                             QString* detail)
{
    int code = 0;
    ZipArchivePtr archive(zip_open(native.constData(), ZIP_RDONLY, &code));
    if (!archive)
        *result = openFailure(code, fs::fileNameOf(path), detail);
    return archive;
}

// The same raw (still compressed, still encrypted) bytes in entry i of a and entry j of b.
bool sameRawBytes(zip_t* a, zip_uint64_t i, zip_t* b, zip_uint64_t j)
{
    const ZipFilePtr from(zip_fopen_index(a, i, ZIP_FL_ENCRYPTED));
    const ZipFilePtr to(zip_fopen_index(b, j, ZIP_FL_ENCRYPTED));
    if (!from || !to)
        return false;
    std::vector<char> x(kBufferSize);
    std::vector<char> y(kBufferSize);
    for (;;) {
        // Raw bytes of a stored entry are checked against its CRC; with encryption they
        // cannot match it, and that is no error here.
        const zip_int64_t n = zip_fread(from.get(), x.data(), x.size());
        const zip_int64_t m = zip_fread(to.get(), y.data(), y.size());
        if (n < 0 || m < 0)
            return n < 0 && m < 0 &&
                   zip_error_code_zip(zip_file_get_error(from.get())) == ZIP_ER_CRC &&
                   zip_error_code_zip(zip_file_get_error(to.get())) == ZIP_ER_CRC;
        if (n != m || std::memcmp(x.data(), y.data(), size_t(n)) != 0)
            return false;
        if (n == 0)
            return true;
    }
}

// The same name, sizes, CRC and methods in the directories of both.
bool sameDirectoryEntry(zip_t* a, zip_uint64_t i, zip_t* b, zip_uint64_t j)
{
    zip_stat_t was;
    zip_stat_t is;
    zip_stat_index(a, i, 0, &was);
    zip_stat_index(b, j, 0, &is);
    return std::strcmp(was.name, is.name) == 0 && was.crc == is.crc && was.size == is.size &&
           was.comp_size == is.comp_size && was.comp_method == is.comp_method &&
           was.encryption_method == is.encryption_method;
}

} // namespace

ArchiveRebuilder::ArchiveRebuilder(RebuildPlan plan) : m_plan(std::move(plan)) {}

int ArchiveRebuilder::fail(int code, const QString& detail)
{
    if (m_detail.isEmpty())
        m_detail = detail;
    return code;
}

int ArchiveRebuilder::rebuild(const QString& archivePath)
{
    m_detail.clear();
    m_changed = false;
    m_removed = 0;
    m_alreadyTorrentZip = false;
    ArchiveReplacement replacement(archivePath);
    int result = replacement.begin();
    if (result != ZipOk)
        return fail(result, replacement.detail());
    switch (m_plan.kind) {
    case RebuildPlan::Kind::Recompress:
        result = recompress(replacement);
        break;
    case RebuildPlan::Kind::RemoveEntries:
        result = removeEntries(replacement);
        break;
    case RebuildPlan::Kind::TorrentZip:
        result = torrentZip(replacement);
        break;
    }
    if (result != ZipOk || !m_changed)
        return result;
    result = replacement.commit();
    return result == ZipOk ? ZipOk : fail(result, replacement.detail());
}

int ArchiveRebuilder::recompress(ArchiveReplacement& replacement)
{
    const QString& path = replacement.path();
    int code = 0;
    QString openDetail;
    const ZipArchivePtr owned = openForReading(fs::nativeName(path), path, &code, &openDetail);
    if (!owned)
        return fail(code, openDetail);
    std::vector<RebuildEntry> planned;
    int result = planRecompress(owned.get(), path, planned);
    if (result != ZipOk || planned.empty())
        return result; // nothing to write: the archive stays as it is
    result = writeRecompressed(owned.get(), path, replacement.tempPath(), planned);
    if (result != ZipOk)
        return result;
    result = replacement.flush();
    if (result != ZipOk)
        return fail(result, replacement.detail());
    result = verifyRecompressed(replacement.tempPath(), planned);
    if (result != ZipOk)
        return result;
    m_changed = true;
    return ZipOk;
}

// Entry index of source as it stands in the directory: its figures and its name.
int ArchiveRebuilder::statEntry(zip_t* source, const QString& path, zip_uint64_t index,
                                RebuildEntry* p)
{
    p->index = index;
    if (zip_stat_index(source, index, 0, &p->st) != 0) {
        QString detail;
        const int r = EntryReader::resultOf(zip_get_error(source), path, &detail);
        return fail(r, detail);
    }
    p->name = entryNameOf(source, index);
    return ZipOk;
}

// The file entries to write, each under its name without folders; a name that would be
// empty or taken twice (without regard to case) refuses the rebuild.
int ArchiveRebuilder::planRecompress(zip_t* source, const QString& path,
                                     std::vector<RebuildEntry>& planned)
{
    QHash<QString, QString> taken; // leaf in lower case -> the entry that claimed it
    const zip_int64_t count = zip_get_num_entries(source, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        RebuildEntry p;
        if (const int r = statEntry(source, path, zip_uint64_t(i), &p); r != ZipOk)
            return r;
        if (p.name.endsWith(u'/'))
            continue; // folders are not kept
        p.leaf = leafOf(QByteArray(zip_get_name(source, p.index, ZIP_FL_ENC_RAW)));
        const QString leaf = leafOf(p.name);
        if (leaf.isEmpty() || leaf == u"." || leaf == u"..")
            return fail(ZipUnsafeEntry,
                        p.name + QStringLiteral(": no file name to store it under"));
        const QString key = leaf.toLower();
        if (taken.contains(key))
            return fail(ZipUnsafeEntry, taken.value(key) + QStringLiteral(" and ") + p.name +
                                            QStringLiteral(" would both be stored as ") + leaf);
        taken.insert(key, p.name);
        planned.push_back(p);
    }
    return ZipOk;
}

int ArchiveRebuilder::writeRecompressed(zip_t* source, const QString& path, const QByteArray& temp,
                                        std::vector<RebuildEntry>& planned)
{
    // With threads to spare, the entries are read and deflated ahead of libzip; the helpers
    // outlive the new archive, whose sources hand their buffers back.
    std::unique_ptr<RecompressAhead> ahead;
    if (m_plan.threads > 1 && m_plan.level > 0 && planned.size() > 1) {
        ahead = std::make_unique<RecompressAhead>(fs::nativeName(path), m_plan.threads);
        if (!ahead->usable())
            ahead.reset();
    }
    int code = 0;
    ZipArchivePtr target(zip_open(temp.constData(), ZIP_TRUNCATE, &code));
    if (!target) {
        QString detail;
        const int r = openFailure(code, fs::fileNameOf(path), &detail);
        return fail(r, detail);
    }
    int commentLength = 0;
    const char* comment = zip_get_archive_comment(source, &commentLength, ZIP_FL_ENC_RAW);
    if (comment && commentLength > 0)
        zip_set_archive_comment(target.get(), comment, zip_uint16_t(commentLength));
    for (RebuildEntry& p : planned) {
        const int r = addRecompressed(source, target.get(), p, ahead.get());
        if (r != ZipOk)
            return r;
    }
    if (ahead)
        ahead->ahead().start();
    const int closed = commitArchive(target);
    if (ahead)
        ahead->ahead().stop();
    if (closed != 0) {
        // A failed read of the old archive has said why already.
        QString detail;
        const int r =
            EntryReader::resultOf(zip_get_error(target.get()),
                                  fs::fileNameOf(path) + QStringLiteral(" (new copy)"), &detail);
        return m_detail.isEmpty() ? fail(r, detail) : r == ZipOk ? ZipReadError : r;
    }
    return ZipOk;
}

// Adds entry p of source to target, fed by a RebuildSource, with its time, its attributes
// (or the plan's), the plan's level and the plan's password.
int ArchiveRebuilder::addRecompressed(zip_t* source, zip_t* target, RebuildEntry& p,
                                      RecompressAhead* ahead)
{
    const int level = qBound(0, m_plan.level, 9);
    auto* state = new RebuildSource;
    if (ahead) {
        state->slot = ahead->add(p, level);
        state->ahead = &ahead->ahead();
    }
    state->archive = source;
    state->entry = &p;
    state->password = m_plan.readPassword.toUtf8();
    state->target = target;
    state->level = level;
    state->blockThreads = m_plan.blockThreads;
    state->onFailure = [this](int code, const QString& detail) { fail(code, detail); };
    state->onProgress = onProgress;
    state->cancelled = cancelled;
    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr data(RebuildSource::create(state, &error));
    zip_error_fini(&error);
    if (!data)
        return fail(ZipWriteError, QStringLiteral("out of memory"));
    const zip_int64_t index =
        zip_file_add(target, p.leaf.constData(), data.get(), ZIP_FL_ENC_GUESS);
    if (index >= 0) {
        data.release(); // the archive's now
        state->targetIndex = zip_uint64_t(index);
    }
    zip_uint8_t system = ZIP_OPSYS_UNIX;
    zip_uint32_t external = zip_uint32_t(0100644) << 16;
    zip_file_get_external_attributes(source, p.index, 0, &system, &external);
    if (m_plan.attributes >= 0)
        withAttributes(m_plan.attributes, &system, &external);
    const zip_uint64_t at = zip_uint64_t(index);
    bool ok = index >= 0;
    ok = ok && zip_set_file_compression(target, at, level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                        zip_uint32_t(level)) == 0;
    ok = ok && zip_file_set_mtime(target, at, p.st.mtime, 0) == 0;
    ok = ok && zip_file_set_external_attributes(target, at, 0, system, external) == 0;
    const QByteArray writePassword = m_plan.writePassword.toUtf8();
    if (ok && !writePassword.isEmpty())
        ok = zip_file_set_encryption(target, at, ZIP_EM_AES_256, writePassword.constData()) == 0;
    if (!ok) {
        QString detail;
        const int r = EntryReader::resultOf(zip_get_error(target), p.name, &detail);
        return fail(r, detail);
    }
    return ZipOk;
}

int ArchiveRebuilder::verifyRecompressed(const QByteArray& temp,
                                         const std::vector<RebuildEntry>& planned)
{
    int code = 0;
    const ZipArchivePtr owned(zip_open(temp.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!owned)
        return fail(ZipDamaged,
                    QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    zip_t* copy = owned.get();
    if (zip_get_num_entries(copy, 0) != zip_int64_t(planned.size()))
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every entry"));
    const QByteArray password = m_plan.writePassword.toUtf8();
    for (size_t j = 0; j < planned.size(); ++j) {
        const RebuildEntry& p = planned[j];
        const bool sameName =
            QByteArray(zip_get_name(copy, zip_uint64_t(j), ZIP_FL_ENC_RAW)) == p.leaf;
        // An entry of modest size inflates whole through libdeflate (decrypted first), its CRC
        // checked against the one stored (libzip stores it also for AES), which must be the CRC
        // of what was read from the old archive. Any doubt reads it the long way, which also
        // words what is wrong.
        zip_stat_t st;
        if (zip_stat_index(copy, zip_uint64_t(j), 0, &st) == 0 &&
            wholeEntryPasses(copy, zip_uint64_t(j), st, password)) {
            if (!p.read || st.crc != p.crc || qint64(st.size) != p.size || !sameName)
                return fail(ZipDamaged, p.name + QStringLiteral(": the new copy differs"));
            continue;
        }
        EntryReader reader(copy, zip_uint64_t(j), password);
        if (reader.readAll() != ZipOk)
            return fail(reader.result(),
                        QStringLiteral("the new copy does not read back: ") + reader.detail());
        if (!p.read || reader.crc() != p.crc || reader.done() != p.size || !sameName)
            return fail(ZipDamaged, p.name + QStringLiteral(": the new copy differs"));
    }
    return ZipOk;
}

int ArchiveRebuilder::removeEntries(ArchiveReplacement& replacement)
{
    const QString& path = replacement.path();
    int code = 0;
    QString openDetail;
    const ZipArchivePtr owned = openForReading(fs::nativeName(path), path, &code, &openDetail);
    if (!owned)
        return fail(code, openDetail);
    zip_t* source = owned.get();

    const EntryMask mask(m_plan.removeMask);
    std::vector<zip_uint64_t> kept;
    std::vector<zip_uint64_t> removed;
    // Two kept entries of one name could not be told apart in the copy, so its read-back
    // would refuse it; the clash is named before anything is written.
    QSet<QString> keptNames;
    QString clash;
    const zip_int64_t count = zip_get_num_entries(source, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (!zip_get_name(source, zip_uint64_t(i), ZIP_FL_ENC_RAW)) {
            QString detail;
            const int r = EntryReader::resultOf(zip_get_error(source), path, &detail);
            return fail(r, detail);
        }
        const QString name = entryNameOf(source, zip_uint64_t(i));
        const bool remove = mask.selects(name);
        (remove ? removed : kept).push_back(zip_uint64_t(i));
        if (!remove && clash.isEmpty()) {
            if (keptNames.contains(name))
                clash = name;
            keptNames.insert(name);
        }
    }
    if (removed.empty())
        return ZipOk;
    if (!clash.isEmpty())
        return fail(ZipUnsafeEntry, clash + QStringLiteral(" and ") + clash +
                                        QStringLiteral(" would both be stored as ") + clash);
    int result = writeThinned(source, path, replacement.tempPath(), kept, removed);
    if (result == ZipOk && (result = replacement.flush()) != ZipOk)
        return fail(result, replacement.detail());
    if (result == ZipOk)
        result = verifyThinned(source, replacement.tempPath(), kept);
    if (result != ZipOk)
        return result;
    m_removed = int(removed.size());
    m_changed = true;
    return ZipOk;
}

// The copy is made whole first and then thinned by libzip, which copies the kept entries'
// bytes as they are and writes the result over the copy, never over the archive.
int ArchiveRebuilder::writeThinned(zip_t* source, const QString& path, const QByteArray& temp,
                                   const std::vector<zip_uint64_t>& kept,
                                   const std::vector<zip_uint64_t>& removed)
{
    const QString what = fs::fileNameOf(path) + QStringLiteral(" (new copy)");
    int err = ArchiveReplacement::copyContent(fs::nativeName(path), temp);
    if (err == 0 && kept.empty()) {
        // libzip deletes an archive it leaves without entries; an empty archive it is.
        int length = 0;
        const char* comment = zip_get_archive_comment(source, &length, ZIP_FL_ENC_RAW);
        err = ArchiveReplacement::writeEmptyArchive(
            temp, QByteArray(comment ? comment : "", comment ? length : 0));
    }
    if (err != 0)
        return fail(zipResultOfWrite(err), what + QStringLiteral(": ") + fs::systemError(err));
    if (kept.empty())
        return ZipOk;
    int code = 0;
    ZipArchivePtr copy(zip_open(temp.constData(), 0, &code));
    if (!copy)
        return fail(ZipWriteError,
                    QStringLiteral("the copy cannot be opened (libzip error %1)").arg(code));
    for (zip_uint64_t i : removed)
        zip_delete(copy.get(), i);
    if (commitArchive(copy) != 0) {
        QString detail;
        const int r = EntryReader::resultOf(zip_get_error(copy.get()), what, &detail);
        return fail(r, detail);
    }
    return ZipOk;
}

// Read back: the kept entries, in order, each with the same bytes as in the archive and,
// where it can be read, the CRC it claims.
int ArchiveRebuilder::verifyThinned(zip_t* source, const QByteArray& temp,
                                    const std::vector<zip_uint64_t>& kept)
{
    int code = 0;
    const ZipArchivePtr owned(zip_open(temp.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!owned)
        return fail(ZipDamaged,
                    QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    zip_t* copy = owned.get();
    if (zip_get_num_entries(copy, 0) != zip_int64_t(kept.size()))
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every kept entry"));
    const QByteArray password = m_plan.readPassword.toUtf8();
    for (size_t j = 0; j < kept.size(); ++j) {
        const QString name = fs::displayName(entryNameOf(source, kept[j]));
        if (!sameDirectoryEntry(source, kept[j], copy, zip_uint64_t(j)) ||
            !sameRawBytes(source, kept[j], copy, zip_uint64_t(j)))
            return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
        if (name.endsWith(u'/'))
            continue;
        EntryReader reader(copy, zip_uint64_t(j), password);
        const int r = reader.readAll();
        if (r != ZipOk && !zipResultIsUnjudged(r))
            return fail(r, reader.detail());
    }
    return ZipOk;
}

} // namespace kelmar
