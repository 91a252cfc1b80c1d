// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DatCollection.h"

#include "fs/NativeName.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>

#include <zip.h>
#include <zlib.h>

#include <algorithm>

namespace kelmar::test {

bool makeZip(const QString& path, const std::vector<MadeEntry>& entries)
{
    int code = 0;
    zip_t* archive = zip_open(fs::nativeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!archive)
        return false;
    std::vector<QByteArray> kept; // libzip reads the buffers at zip_close
    kept.reserve(entries.size());
    for (const MadeEntry& e : entries) {
        kept.push_back(e.bytes);
        zip_source_t* source =
            zip_source_buffer(archive, kept.back().constData(), zip_uint64_t(kept.back().size()), 0);
        const zip_int64_t i = zip_file_add(archive, e.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (i < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        zip_set_file_compression(archive, zip_uint64_t(i), e.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    return zip_close(archive) == 0;
}

namespace {

bool entriesOf(const QString& path, std::vector<QByteArray>& out)
{
    zip_t* archive = zip_open(fs::nativeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!archive)
        return false;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_file_t* f = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!f || zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            if (f)
                zip_fclose(f);
            continue;
        }
        QByteArray bytes(qsizetype(st.size), '\0');
        const zip_int64_t n = zip_fread(f, bytes.data(), st.size);
        if (zip_fclose(f) == 0 && n == zip_int64_t(st.size))
            out.push_back(bytes);
    }
    zip_discard(archive);
    return true;
}

} // namespace

std::vector<QByteArray> contentsUnder(const QString& folder)
{
    std::vector<QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive) && entriesOf(path, out))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            out.push_back(file.readAll());
    }
    return out;
}

bool allPresent(const QString& folder, const std::vector<QByteArray>& wanted)
{
    const std::vector<QByteArray> have = contentsUnder(folder);
    return std::all_of(wanted.begin(), wanted.end(), [&](const QByteArray& w) {
        return std::find(have.begin(), have.end(), w) != have.end();
    });
}

QString crcHex(const QByteArray& bytes)
{
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
    return QStringLiteral("%1").arg(quint32(crc), 8, 16, QLatin1Char('0'));
}

QString sha1Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

} // namespace kelmar::test
