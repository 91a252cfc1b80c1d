#include "archive/ArchiveRebuilder.h"

#include "archive/ArchiveReplacement.h"
#include "archive/EntryMask.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/RebuildSource.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipError.h"
#include "archive/ZipHandles.h"
#include "fs/NativeName.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace kelmar {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

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
    const bool hasMode = (*system == ZIP_OPSYS_UNIX && (mode & S_IFMT) != 0) ||
                         (*system == ZIP_OPSYS_DOS && (*external & 0x8000) != 0 && mode != 0);
    quint32 result = quint32(bits) & 0xFF;
    if (hasMode) {
        mode = (bits & 1) ? (mode & ~quint32(0222)) : (mode | 0200);
        result |= (mode << 16) | 0x8000;
    }
    *system = ZIP_OPSYS_DOS;
    *external = result;
}

// Opens an archive to read from it; on failure null, with the result code and its words.
ZipArchivePtr openForReading(const QByteArray& native, const QString& path, int* result,
                             QString* detail)
{
    int code = 0;
    ZipArchivePtr archive(zip_open(native.constData(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        *result = EntryReader::resultOf(&error, QFileInfo(path).fileName(), detail);
        zip_error_fini(&error);
    }
    return archive;
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
    ArchiveReplacement replacement(archivePath);
    int result = replacement.begin();
    if (result != ZipOk)
        return fail(result, replacement.detail());
    result = m_plan.kind == RebuildPlan::Kind::Recompress
                 ? recompress(replacement.path(), replacement.tempPath())
                 : removeEntries(replacement.path(), replacement.tempPath());
    if (result != ZipOk || !m_changed)
        return result;
    result = replacement.commit();
    return result == ZipOk ? ZipOk : fail(result, replacement.detail());
}

int ArchiveRebuilder::recompress(const QString& path, const QByteArray& temp)
{
    int code = 0;
    QString openDetail;
    const ZipArchivePtr owned = openForReading(fs::nativeName(path), path, &code, &openDetail);
    if (!owned)
        return fail(code, openDetail);
    zip_t* source = owned.get();

    std::vector<RebuildEntry> planned;
    QHash<QString, QString> taken; // leaf in lower case -> the entry that claimed it
    const zip_int64_t count = zip_get_num_entries(source, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        RebuildEntry p;
        p.index = zip_uint64_t(i);
        if (zip_stat_index(source, p.index, 0, &p.st) != 0) {
            QString detail;
            const int r = EntryReader::resultOf(zip_get_error(source), path, &detail);
            return fail(r, detail);
        }
        p.name = entryNameOf(source, p.index);
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
    if (planned.empty())
        return ZipOk; // nothing to write: the archive stays as it is

    zip_t* target = zip_open(temp.constData(), ZIP_TRUNCATE, &code);
    if (!target) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        QString detail;
        const int r = EntryReader::resultOf(&error, QFileInfo(path).fileName(), &detail);
        zip_error_fini(&error);
        return fail(r, detail);
    }
    int commentLength = 0;
    const char* comment = zip_get_archive_comment(source, &commentLength, ZIP_FL_ENC_RAW);
    if (comment && commentLength > 0)
        zip_set_archive_comment(target, comment, zip_uint16_t(commentLength));

    const QByteArray readPassword = m_plan.readPassword.toUtf8();
    const QByteArray writePassword = m_plan.writePassword.toUtf8();
    const int level = qBound(0, m_plan.level, 9);
    for (RebuildEntry& p : planned) {
        auto* state = new RebuildSource;
        state->archive = source;
        state->entry = &p;
        state->password = readPassword;
        state->target = target;
        state->level = level;
        state->onFailure = [this](int code, const QString& detail) { fail(code, detail); };
        state->onProgress = onProgress;
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* data = RebuildSource::create(state, &error);
        zip_error_fini(&error);
        if (!data) {
            zip_discard(target);
            return fail(ZipWriteError, QStringLiteral("out of memory"));
        }
        const zip_int64_t index = zip_file_add(target, p.leaf.constData(), data, ZIP_FL_ENC_GUESS);
        if (index < 0)
            zip_source_free(data);
        else
            state->targetIndex = zip_uint64_t(index);
        zip_uint8_t system = ZIP_OPSYS_UNIX;
        zip_uint32_t external = zip_uint32_t(0100644) << 16;
        zip_file_get_external_attributes(source, p.index, 0, &system, &external);
        if (m_plan.attributes >= 0)
            withAttributes(m_plan.attributes, &system, &external);
        bool ok = index >= 0;
        ok = ok && zip_set_file_compression(target, zip_uint64_t(index),
                                            level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                            zip_uint32_t(level)) == 0;
        ok = ok && zip_file_set_mtime(target, zip_uint64_t(index), p.st.mtime, 0) == 0;
        ok = ok && zip_file_set_external_attributes(target, zip_uint64_t(index), 0, system,
                                                    external) == 0;
        if (ok && !writePassword.isEmpty())
            ok = zip_file_set_encryption(target, zip_uint64_t(index), ZIP_EM_AES_256,
                                         writePassword.constData()) == 0;
        if (!ok) {
            QString detail;
            const int r = EntryReader::resultOf(zip_get_error(target), p.name, &detail);
            zip_discard(target);
            return fail(r, detail);
        }
    }
    if (zip_close(target) != 0) {
        // A failed read of the old archive has said why already.
        QString detail;
        const int r = EntryReader::resultOf(
            zip_get_error(target), QFileInfo(path).fileName() + QStringLiteral(" (new copy)"),
            &detail);
        zip_discard(target);
        return m_detail.isEmpty() ? fail(r, detail) : r == ZipOk ? ZipReadError : r;
    }
    const int err = ArchiveReplacement::syncFile(temp);
    if (err != 0)
        return fail(ArchiveReplacement::writeFailure(err),
                    QFileInfo(path).fileName() + QStringLiteral(" (new copy): ") +
                        QString::fromLocal8Bit(std::strerror(err)));
    const int verified = verifyRecompressed(temp, planned);
    if (verified != ZipOk)
        return verified;
    m_changed = true;
    return ZipOk;
}

int ArchiveRebuilder::verifyRecompressed(const QByteArray& temp,
                                         const std::vector<RebuildEntry>& planned)
{
    int code = 0;
    zip_t* copy = zip_open(temp.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!copy)
        return fail(ZipDamaged,
                    QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    int result = ZipOk;
    if (zip_get_num_entries(copy, 0) != zip_int64_t(planned.size()))
        result = fail(ZipDamaged, QStringLiteral("the new copy does not hold every entry"));
    const QByteArray password = m_plan.writePassword.toUtf8();
    for (size_t j = 0; result == ZipOk && j < planned.size(); ++j) {
        const RebuildEntry& p = planned[j];
        const bool sameName =
            QByteArray(zip_get_name(copy, zip_uint64_t(j), ZIP_FL_ENC_RAW)) == p.leaf;
        // An unencrypted entry inflates whole through libdeflate, its CRC checked against the
        // one stored, which must be the CRC of what was read from the old archive. Any doubt
        // reads it the long way, which also words what is wrong.
        zip_stat_t st;
        if (zip_stat_index(copy, zip_uint64_t(j), 0, &st) == 0 &&
            wholeEntryPasses(copy, zip_uint64_t(j), st)) {
            if (!p.read || st.crc != p.crc || qint64(st.size) != p.size || !sameName)
                result = fail(ZipDamaged, p.name + QStringLiteral(": the new copy differs"));
            continue;
        }
        EntryReader reader(copy, zip_uint64_t(j), password);
        if (reader.readAll() != ZipOk) {
            result = fail(reader.result(),
                          QStringLiteral("the new copy does not read back: ") + reader.detail());
        } else if (!p.read || reader.crc() != p.crc || reader.done() != p.size || !sameName) {
            result = fail(ZipDamaged, p.name + QStringLiteral(": the new copy differs"));
        }
    }
    zip_discard(copy);
    return result;
}

int ArchiveRebuilder::removeEntries(const QString& path, const QByteArray& temp)
{
    const QByteArray native = fs::nativeName(path);
    int code = 0;
    QString openDetail;
    const ZipArchivePtr owned = openForReading(native, path, &code, &openDetail);
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

    // The copy is made whole first and then thinned by libzip, which copies the kept
    // entries' bytes as they are and writes the result over the copy, never over the archive.
    int err = ArchiveReplacement::copyContent(native, temp);
    if (err != 0)
        return fail(ArchiveReplacement::writeFailure(err),
                    QFileInfo(path).fileName() + QStringLiteral(" (new copy): ") +
                        QString::fromLocal8Bit(std::strerror(err)));
    if (kept.empty()) {
        // libzip deletes an archive it leaves without entries; an empty archive it is.
        int length = 0;
        const char* comment = zip_get_archive_comment(source, &length, ZIP_FL_ENC_RAW);
        err = ArchiveReplacement::writeEmptyArchive(
            temp, QByteArray(comment ? comment : "", comment ? length : 0));
        if (err != 0)
            return fail(ArchiveReplacement::writeFailure(err),
                        QFileInfo(path).fileName() + QStringLiteral(" (new copy): ") +
                            QString::fromLocal8Bit(std::strerror(err)));
    } else {
        zip_t* copy = zip_open(temp.constData(), 0, &code);
        if (!copy)
            return fail(ZipWriteError,
                        QStringLiteral("the copy cannot be opened (libzip error %1)").arg(code));
        for (zip_uint64_t i : removed)
            zip_delete(copy, i);
        if (zip_close(copy) != 0) {
            QString detail;
            const int r = EntryReader::resultOf(
                zip_get_error(copy), QFileInfo(path).fileName() + QStringLiteral(" (new copy)"),
                &detail);
            zip_discard(copy);
            return fail(r, detail);
        }
    }
    err = ArchiveReplacement::syncFile(temp);
    if (err != 0)
        return fail(ArchiveReplacement::writeFailure(err),
                    QFileInfo(path).fileName() + QStringLiteral(" (new copy): ") +
                        QString::fromLocal8Bit(std::strerror(err)));

    // Read back: the kept entries, in order, each with the same bytes as in the archive and,
    // where it can be read, the CRC it claims.
    const ZipArchivePtr ownedCopy(zip_open(temp.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!ownedCopy)
        return fail(ZipDamaged,
                    QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    zip_t* copy = ownedCopy.get();
    if (zip_get_num_entries(copy, 0) != zip_int64_t(kept.size()))
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every kept entry"));
    std::vector<char> a(kBufferSize);
    std::vector<char> b(kBufferSize);
    const QByteArray password = m_plan.readPassword.toUtf8();
    for (size_t j = 0; j < kept.size(); ++j) {
        zip_stat_t was;
        zip_stat_t is;
        zip_stat_index(source, kept[j], 0, &was);
        zip_stat_index(copy, zip_uint64_t(j), 0, &is);
        const QString name = fs::displayName(entryNameOf(source, kept[j]));
        if (std::strcmp(was.name, is.name) != 0 || was.crc != is.crc || was.size != is.size ||
            was.comp_size != is.comp_size || was.comp_method != is.comp_method ||
            was.encryption_method != is.encryption_method)
            return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
        zip_file_t* from = zip_fopen_index(source, kept[j], ZIP_FL_ENCRYPTED);
        zip_file_t* to = zip_fopen_index(copy, zip_uint64_t(j), ZIP_FL_ENCRYPTED);
        bool same = from && to;
        while (same) {
            // Raw bytes of a stored entry are checked against its CRC; with encryption they
            // cannot match it, and that is no error here.
            const zip_int64_t n = zip_fread(from, a.data(), a.size());
            const zip_int64_t m = zip_fread(to, b.data(), b.size());
            if (n < 0 || m < 0) {
                same = n < 0 && m < 0 &&
                       zip_error_code_zip(zip_file_get_error(from)) == ZIP_ER_CRC &&
                       zip_error_code_zip(zip_file_get_error(to)) == ZIP_ER_CRC;
                break;
            }
            same = n == m && std::memcmp(a.data(), b.data(), size_t(n)) == 0;
            if (n == 0)
                break;
        }
        if (from)
            zip_fclose(from);
        if (to)
            zip_fclose(to);
        if (!same)
            return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
        if (name.endsWith(u'/'))
            continue;
        EntryReader reader(copy, zip_uint64_t(j), password);
        const int r = reader.readAll();
        if (r != ZipOk && !zipResultIsUnjudged(r))
            return fail(r, reader.detail());
    }
    m_removed = int(removed.size());
    m_changed = true;
    return ZipOk;
}

} // namespace kelmar
