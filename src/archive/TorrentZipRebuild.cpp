// SPDX-License-Identifier: GPL-3.0-or-later
// ArchiveRebuilder's TorrentZip rebuild: the archive written anew in the layout of
// TorrentZip.h through the same replacement, read back and checked before it takes the old
// archive's place.
#include "archive/ArchiveRebuilder.h"

#include "archive/ArchiveReplacement.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/RebuildSource.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipError.h"
#include "archive/ZipHandles.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/Path.h"

#include <zip.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar {

namespace {

constexpr qint64 kBufferSize = 64 * 1024;

// The stored bytes of a name as Kelmar reads it: UTF-8 where it is, else the name's own bytes;
// so a name comes out the same whichever tool stored it.
QByteArray storedName(const QString& name)
{
    zip_flags_t encoding = 0;
    return entryNameBytes(name, &encoding);
}

QString leafOf(const QString& name)
{
    const qsizetype cut = qMax(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return name.mid(cut + 1);
}

} // namespace

int ArchiveRebuilder::checkTorrentZipNames(const QString& archivePath)
{
    m_detail.clear();
    int code = 0;
    const ZipArchivePtr owned(zip_open(fs::nativeName(archivePath).constData(), ZIP_RDONLY, &code));
    if (!owned)
        return ZipOk; // the writing that comes first will say what is wrong
    std::vector<RebuildEntry> planned;
    std::vector<QByteArray> names;
    return planTorrentZip(owned.get(), archivePath, planned, names);
}

int ArchiveRebuilder::torrentZip(ArchiveReplacement& replacement)
{
    const QString& path = replacement.path();
    int code = 0;
    const ZipArchivePtr owned(zip_open(fs::nativeName(path).constData(), ZIP_RDONLY, &code));
    if (!owned) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        QString detail;
        const int r = EntryReader::resultOf(&error, fs::fileNameOf(path), &detail);
        zip_error_fini(&error);
        return fail(r, detail);
    }
    std::vector<RebuildEntry> planned;
    std::vector<QByteArray> names;
    int result = planTorrentZip(owned.get(), path, planned, names);
    if (result != ZipOk || planned.empty())
        return result; // nothing to write: the archive stays as it is
    std::vector<QByteArray> stored;
    if (torrentzip::isTorrentZipFile(path, &stored) && stored == names) {
        m_alreadyTorrentZip = true;
        return ZipOk;
    }
    result = writeTorrentZip(owned.get(), replacement.tempPath(), planned, names);
    if (result != ZipOk)
        return result;
    result = replacement.flush();
    if (result != ZipOk)
        return fail(result, replacement.detail());
    result = verifyTorrentZip(replacement.tempPath());
    if (result != ZipOk)
        return result;
    m_changed = true;
    return ZipOk;
}

// The entries that go in, by ReZip's rules unless folder names are kept, and the names
// they are stored under, in the layout's order. A name taken twice refuses the rebuild.
int ArchiveRebuilder::planTorrentZip(zip_t* source, const QString& path,
                                     std::vector<RebuildEntry>& planned,
                                     std::vector<QByteArray>& names)
{
    if (m_plan.keepFolderNames) {
        const zip_int64_t count = zip_get_num_entries(source, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            RebuildEntry p;
            if (const int r = statEntry(source, path, zip_uint64_t(i), &p); r != ZipOk)
                return r;
            p.leaf = storedName(p.name);
            planned.push_back(p);
        }
    } else {
        const int r = planRecompress(source, path, planned);
        if (r != ZipOk)
            return r;
        for (RebuildEntry& p : planned)
            p.leaf = storedName(leafOf(p.name));
    }
    std::vector<torrentzip::Entry> order;
    for (const RebuildEntry& p : planned)
        order.push_back({p.leaf, qint64(p.st.size), {}});
    QByteArray clash;
    if (!torrentzip::sortEntries(order, &clash)) {
        const QString name = fs::nameFromNative(clash);
        return fail(ZipUnsafeEntry,
                    QStringLiteral("two entries would both be stored as ") + name);
    }
    for (const torrentzip::Entry& e : order)
        names.push_back(e.name);
    return ZipOk;
}

// Reads entry p whole (decrypted, its CRC checked), handing each piece to sink.
int ArchiveRebuilder::readForTorrentZip(zip_t* source, const RebuildEntry& p,
                                        const std::function<int(const char*, qint64)>& sink)
{
    // A plain entry of modest size is inflated whole by libdeflate, its CRC checked, which is
    // quicker. Not while entries are deflated ahead: their memory is held by this thread
    // until it writes them, so waiting here for memory could wait for ever.
    int whole = ZipOk;
    const auto use = [&](const char* data, qint64 size) {
        whole = size > 0 ? sink(data, size) : int(ZipOk);
    };
    if (m_plan.threads <= 1 &&
        withWholeEntry(source, p.index, p.st, use, m_plan.readPassword.toUtf8())) {
        if (onProgress)
            onProgress(p.name, 100);
        return whole;
    }
    EntryReader reader(source, p.index, m_plan.readPassword.toUtf8());
    if (reader.open() != ZipOk)
        return fail(reader.result(), reader.detail());
    std::vector<char> buffer(kBufferSize);
    int lastPercent = -1;
    for (;;) {
        const qint64 n = reader.read(buffer.data(), kBufferSize);
        if (n < 0)
            return fail(reader.result(), reader.detail());
        if (n == 0)
            break;
        const int r = sink(buffer.data(), n);
        if (r != ZipOk)
            return r;
        const int percent = reader.size() > 0 ? int(reader.done() * 100 / reader.size()) : 100;
        if (onProgress && percent != lastPercent && percent < 100)
            onProgress(p.name, lastPercent = percent);
    }
    if (onProgress)
        onProgress(p.name, 100);
    return ZipOk;
}

int ArchiveRebuilder::writeTorrentZip(zip_t* source, const QByteArray& temp,
                                      const std::vector<RebuildEntry>& planned,
                                      const std::vector<QByteArray>& names)
{
    std::vector<torrentzip::Entry> entries;
    for (const RebuildEntry& p : planned) {
        torrentzip::Entry e{p.leaf, qint64(p.st.size), {}};
        if (!p.name.endsWith(u'/')) {
            e.read = [this, source, &p](const torrentzip::Sink& sink) {
                return readForTorrentZip(source, p, sink);
            };
        }
        entries.push_back(std::move(e));
    }
    torrentzip::sortEntries(entries, nullptr);
    const QString what = QStringLiteral("the new copy");
    const fs::FdGuard fd(::open(temp.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(zipResultOfWrite(errno), what + QStringLiteral(": ") + fs::systemError(errno));
    m_written.clear();
    QString detail;
    const int r = torrentzip::writeArchive(fd.get(), entries, m_plan.threads, &m_written, &detail);
    if (r != ZipOk)
        return detail.isEmpty() ? r : fail(r, what + QStringLiteral(": ") + detail);
    if (m_written.size() != names.size())
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every entry"));
    return ZipOk;
}

// Read back: the layout must hold, and every entry must read whole with the CRC and size of
// what was written into it.
int ArchiveRebuilder::verifyTorrentZip(const QByteArray& temp)
{
    std::vector<QByteArray> stored;
    if (!torrentzip::isTorrentZipFile(fs::nameFromNative(temp), &stored) ||
        stored.size() != m_written.size())
        return fail(ZipDamaged, QStringLiteral("the new copy is not in the TorrentZip layout"));
    int code = 0;
    const ZipArchivePtr owned(zip_open(temp.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!owned)
        return fail(ZipDamaged,
                    QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    zip_t* copy = owned.get();
    if (zip_get_num_entries(copy, 0) != zip_int64_t(m_written.size()))
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every entry"));
    for (size_t j = 0; j < m_written.size(); ++j) {
        const torrentzip::Written& w = m_written[j];
        const QString name = fs::nameFromNative(w.name);
        zip_stat_t st;
        if (stored[j] != w.name || zip_stat_index(copy, zip_uint64_t(j), 0, &st) != 0)
            return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
        if (wholeEntryPasses(copy, zip_uint64_t(j), st)) {
            if (st.crc != w.crc || qint64(st.size) != w.size)
                return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
            continue;
        }
        EntryReader reader(copy, zip_uint64_t(j), QByteArray());
        if (reader.readAll() != ZipOk)
            return fail(reader.result(),
                        QStringLiteral("the new copy does not read back: ") + reader.detail());
        if (reader.crc() != w.crc || reader.done() != w.size)
            return fail(ZipDamaged, name + QStringLiteral(": the new copy differs"));
    }
    return ZipOk;
}

} // namespace kelmar
